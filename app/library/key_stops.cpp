#include "library/key_stops.h"

#include "common/text.h"

#include "keyed_file/key_value.h"

namespace kvr::library {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr long long kBase = static_cast<long long>(kAlphabet.size()) + 1;
constexpr std::size_t kPartLength = 4;

using common::trimRight;

std::string upper(std::string_view text) {
    std::string out(text);
    for (char &c : out) c = static_cast<char>(keyed::westernUpper(static_cast<unsigned char>(c)));
    return out;
}

long long partValue(std::string_view part) {
    const std::string_view used = trimRight(part);
    long long value = 0;
    for (std::size_t i = 0; i < kPartLength; ++i) {
        value *= kBase;
        if (i < used.size()) {
            const auto place = kAlphabet.find(used[i]);
            if (place != std::string_view::npos) value += static_cast<long long>(place) + 1;
        }
    }
    return value;
}

std::string partText(long long value) {
    std::string text(kPartLength, ' ');
    for (std::size_t i = kPartLength; i-- > 0;) {
        const long long digit = value % kBase;
        if (digit > 0) text[i] = kAlphabet[static_cast<std::size_t>(digit - 1)];
        value /= kBase;
    }
    return text;
}

std::string fitted(std::string text, std::size_t length) {
    text.resize(length, ' ');
    return text;
}

}  // namespace

KeyStops keyStops(std::string_view lowText, std::string_view highText, std::size_t length) {
    const std::string low(lowText.substr(0, length));
    std::string high(highText.substr(0, length));
    if (trimRight(high).size() < length) {
        high = std::string(trimRight(high));
        high.resize(length + 1, kAlphabet.back());
    }
    std::size_t prefix = 0;
    while (prefix < length && prefix < low.size() && prefix < high.size() && low[prefix] == high[prefix]) ++prefix;
    const std::string common = low.substr(0, prefix);
    const std::string lowPart = upper(low.substr(prefix, kPartLength));
    const std::string highPart = upper(high.substr(prefix, kPartLength));
    const long long lowValue = partValue(lowPart);
    const long long highValue = partValue(highPart);
    const long long step = (highValue - lowValue) / static_cast<long long>(kKeyStops - 1);

    KeyStops stops;
    stops.front() = lowPart;
    stops.back() = highPart;
    for (std::size_t k = 2; k < kKeyStops; ++k)
        stops[k - 1] = partText(lowValue + step * static_cast<long long>(k - 1));
    for (std::string &stop : stops) stop = fitted(common + stop, length);
    return stops;
}

int thumbPosition(const KeyStops &stops, std::string_view card) {
    const std::size_t length = stops.front().size();
    const std::string value = fitted(upper(card), length);
    for (std::size_t i = 0; i < stops.size(); ++i) {
        if (stops[i] >= value) return i == 0 ? 0 : static_cast<int>(i) + 1;
    }
    return static_cast<int>(kKeyStops) + 1;
}

}  // namespace kvr::library
