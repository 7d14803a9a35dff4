// libFuzzer target: any bytes as an answer to reset, decoded and written
// down.  Besides the sanitizers' findings, a decoding that places a byte
// outside the input, or claims a complete ATR that the input does not hold,
// is a crash.
#include "decode/atr.h"
#include "decode/describe.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t n) {
    const kvr::decode::Atr atr = kvr::decode::decodeAtr({bytes, n});
    if (atr.length != n) __builtin_trap();
    for (const kvr::decode::InterfaceByte &b : atr.interfaceBytes)
        if (b.offset >= n || bytes[b.offset] != b.value) __builtin_trap();
    if (atr.stop && atr.stop->offset > n) __builtin_trap();
    if (atr.complete()) {
        const std::size_t used = 2 + atr.interfaceBytes.size() + atr.historical.size() + (atr.tck.present ? 1 : 0);
        if (used + atr.trailing.size() != n) __builtin_trap();
        if (atr.tck.present && atr.tck.ok != (atr.tck.value == atr.tck.right)) __builtin_trap();
    }
    (void)kvr::decode::describeAtr(atr);
    return 0;
}
