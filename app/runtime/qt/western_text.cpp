#include "runtime/qt/western_text.h"

#include "common/windows1252.h"

namespace kvr::runtime::qt {

namespace {

std::optional<char> byteOf(QChar c) {
    const auto byte = common::westernOfUnicode(c.unicode());
    if (!byte) return std::nullopt;
    return static_cast<char>(*byte);
}

}  // namespace

QString fromWestern(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char byte : bytes)
        text.append(QChar(static_cast<char16_t>(common::unicodeOfWestern(static_cast<uint8_t>(byte)))));
    return text;
}

std::optional<std::string> toWestern(const QString &text) {
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) {
        const auto byte = byteOf(c);
        if (!byte) return std::nullopt;
        bytes.push_back(*byte);
    }
    return bytes;
}

std::string toWesternLossy(const QString &text) {
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) bytes.push_back(byteOf(c).value_or('?'));
    return bytes;
}

bool isWestern(QChar c) { return byteOf(c).has_value(); }

bool isWestern(const QString &text) {
    for (QChar c : text)
        if (!isWestern(c)) return false;
    return true;
}

}  // namespace kvr::runtime::qt
