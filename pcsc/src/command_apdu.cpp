#include "command_apdu.h"

namespace kvr7x::pcsc {

ApduForm parseCommandApdu(const uint8_t *bytes, size_t length, CommandApdu &out) {
    if (length < 4) return ApduForm::Malformed;
    CommandApdu a;
    a.cla = bytes[0];
    a.ins = bytes[1];
    a.p1 = bytes[2];
    a.p2 = bytes[3];
    if (length == 4) {
        out = a;
        return ApduForm::Short;
    }
    const uint8_t b5 = bytes[4];
    if (length == 5) {
        a.isoCase = 2;
        a.le = b5 == 0 ? 256 : b5;
        out = a;
        return ApduForm::Short;
    }
    // A zero byte where Lc would be opens the extended form.
    if (b5 == 0) return length >= 7 ? ApduForm::Extended : ApduForm::Malformed;
    if (length != 5u + b5 && length != 6u + b5) return ApduForm::Malformed;
    a.data.assign(bytes + 5, bytes + 5 + b5);
    if (length == 5u + b5) {
        a.isoCase = 3;
    } else {
        a.isoCase = 4;
        a.le = bytes[length - 1] == 0 ? 256 : bytes[length - 1];
    }
    out = a;
    return ApduForm::Short;
}

}  // namespace kvr7x::pcsc
