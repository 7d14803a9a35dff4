// libFuzzer target: any bytes as BER-TLV data, decoded and written down.
// Besides the sanitizers' findings, an object whose value is not the bytes
// of the input at its place, or a child outside its parent, is a crash.
#include "decode/ber_tlv.h"
#include "decode/describe.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void check(const std::vector<kvr::decode::TlvObject> &objects, const uint8_t *bytes, size_t begin, size_t end) {
    for (const kvr::decode::TlvObject &object : objects) {
        if (object.offset < begin || object.valueOffset + object.value.size() > end) __builtin_trap();
        if (!object.value.empty() && std::memcmp(bytes + object.valueOffset, object.value.data(), object.value.size()))
            __builtin_trap();
        check(object.children, bytes, object.valueOffset, object.valueOffset + object.value.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t n) {
    const kvr::decode::TlvData data = kvr::decode::decodeBerTlv({bytes, n});
    check(data.objects, bytes, 0, n);
    if (data.error && data.error->offset > n) __builtin_trap();
    (void)kvr::decode::describeTlv(data);
    return 0;
}
