// Bytes for the decoder tests, written as hex text with spaces ("3B 68 00").
#ifndef KVR_TESTS_DECODE_BYTES_H
#define KVR_TESTS_DECODE_BYTES_H

#include "common/hex.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::decode::testing {

inline std::vector<uint8_t> bytes(std::string_view spaced) {
    std::string digits;
    for (const char c : spaced)
        if (c != ' ') digits += c;
    const auto parsed = common::bytesOfHex(digits);
    if (!parsed) throw std::invalid_argument("not hex: " + std::string(spaced));
    return *parsed;
}

// The ATR with its check byte appended: the XOR of T0 and every byte after
// it, the check byte included, is zero.
inline std::vector<uint8_t> withTck(std::vector<uint8_t> atr) {
    uint8_t sum = 0;
    for (std::size_t i = 1; i < atr.size(); ++i) sum = static_cast<uint8_t>(sum ^ atr[i]);
    atr.push_back(sum);
    return atr;
}

}  // namespace kvr::decode::testing

#endif
