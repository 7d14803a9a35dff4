// A pattern over a run of bytes, as the emulator's rules match a command
// frame and a card script matches the reply data: blank-separated tokens,
// each hexadecimal digit pairs ("3F00" or "3F 00"), "??" for any one byte,
// and a final "*" for any number of further bytes (none included).  Without
// "*" the bytes must be exactly as many as the pattern's.
#ifndef KVR_COMMON_BYTE_PATTERN_H
#define KVR_COMMON_BYTE_PATTERN_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::common {

struct BytePattern {
    static constexpr int kAnyByte = -1;
    std::vector<int> bytes;  // a byte value, or kAnyByte
    bool anyRest = false;    // a final "*"

    [[nodiscard]] bool matches(std::span<const uint8_t> candidate) const;
    // The pattern written back: "56 45 ?? *"; empty for no bytes.
    std::string text() const;
    bool operator==(const BytePattern &) const = default;
};

// Reads a pattern; nullopt with a one-line reason in `why` for a token that
// is none ("bad pattern token \"3G\"") or a "*" that is not the last.  An
// empty text is the empty pattern (no bytes at all).
[[nodiscard]] std::optional<BytePattern> parseBytePattern(std::string_view text, std::string &why);

}  // namespace kvr::common

#endif
