#include "keyed_file/postgres/western_utf8.h"

#include "common/windows1252.h"

namespace kvr::keyed::pg {

namespace {

// A NUL byte travels as U+2400 (SYMBOL FOR NULL): PostgreSQL's text holds
// no NUL, and a record's fields may.
constexpr std::string_view kNulSymbolUtf8 = "\xE2\x90\x80";

}  // namespace

std::string utf8OfWestern(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (std::size_t start = 0; start <= bytes.size();) {
        const std::size_t nul = bytes.find('\0', start);
        const std::size_t end = nul == std::string_view::npos ? bytes.size() : nul;
        out += common::utf8OfWestern(bytes.substr(start, end - start));
        if (nul == std::string_view::npos) break;
        out += kNulSymbolUtf8;
        start = nul + 1;
    }
    return out;
}

std::string westernOfUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t nul = text.find(kNulSymbolUtf8, start);
        const std::size_t end = nul == std::string_view::npos ? text.size() : nul;
        out += common::westernOfUtf8(text.substr(start, end - start));
        if (nul == std::string_view::npos) break;
        out += '\0';
        start = nul + kNulSymbolUtf8.size();
    }
    return out;
}

}  // namespace kvr::keyed::pg
