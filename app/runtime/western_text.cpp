#include "runtime/western_text.h"

#include <iconv.h>

#include <mutex>
#include <unordered_map>

namespace kvr::runtime {

namespace {

// The five bytes the code page leaves undefined.
bool isUndefinedByte(unsigned char byte) {
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// One conversion of a single character through glibc's iconv.  The
// descriptors are opened once and used under a lock.
class Converter {
public:
    Converter(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // Converts in; false when the input cannot be converted.
    bool convert(const char *in, size_t inSize, char *out, size_t outCapacity, size_t &outSize) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
        std::lock_guard lock(mutex_);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char *inPtr = const_cast<char *>(in);
        char *outPtr = out;
        size_t inLeft = inSize;
        size_t outLeft = outCapacity;
        const size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
        if (result == static_cast<size_t>(-1) || inLeft != 0) return false;
        outSize = outCapacity - outLeft;
        return true;
    }

private:
    iconv_t cd_;
    std::mutex mutex_;
};

Converter &toUnicode() {
    static Converter converter("UTF-16LE", "WINDOWS-1252");
    return converter;
}

// The Unicode code points of the 256 bytes, computed once.
const char16_t *byteTable() {
    static const auto table = [] {
        static char16_t codes[256];
        for (int byte = 0; byte < 256; ++byte) {
            const char in = static_cast<char>(byte);
            char out[8];
            size_t outSize = 0;
            if (!isUndefinedByte(byte) && toUnicode().convert(&in, 1, out, sizeof out, outSize) && outSize == 2)
                codes[byte] = char16_t(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
            else
                codes[byte] = char16_t(byte);
        }
        return codes;
    }();
    return table;
}

std::optional<char> byteOf(QChar c) {
    const char16_t code = c.unicode();
    if (code < 0x80) return static_cast<char>(code);
    static const auto reverse = [] {
        std::unordered_map<char16_t, char> map;
        const char16_t *table = byteTable();
        for (int byte = 0x80; byte < 256; ++byte) map.emplace(table[byte], static_cast<char>(byte));
        return map;
    }();
    const auto found = reverse.find(code);
    if (found == reverse.end()) return std::nullopt;
    return found->second;
}

}  // namespace

QString fromWestern(std::string_view bytes) {
    const char16_t *table = byteTable();
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char byte : bytes) text.append(QChar(table[static_cast<unsigned char>(byte)]));
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

}  // namespace kvr::runtime
