// The ISO 7816-4 case of a command APDU, from its length and Lc/Le bytes.
#include <gtest/gtest.h>

#include "command_apdu.h"

using kvr7x::pcsc::ApduForm;
using kvr7x::pcsc::CommandApdu;
using kvr7x::pcsc::parseCommandApdu;
using Bytes = std::vector<uint8_t>;

TEST(CommandApdu, CaseFromLengthAndLcLe) {
    struct Case {
        const char *what;
        Bytes bytes;
        ApduForm form;
        int isoCase;
        size_t lc;
        unsigned le;
    };
    const std::vector<Case> cases = {
        {"header only", {0x00, 0xA4, 0x03, 0x0C}, ApduForm::Short, 1, 0, 0},
        {"Le", {0x00, 0xB0, 0x00, 0x10, 0x08}, ApduForm::Short, 2, 0, 8},
        {"Le 00 is 256", {0x00, 0xB0, 0x00, 0x00, 0x00}, ApduForm::Short, 2, 0, 256},
        {"Lc and data", {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x3F, 0x00}, ApduForm::Short, 3, 2, 0},
        {"Lc, data and Le", {0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00, 0x0F}, ApduForm::Short, 4, 2, 15},
        {"Lc, data and Le 00", {0x00, 0xA4, 0x04, 0x00, 0x01, 0xF0, 0x00}, ApduForm::Short, 4, 1, 256},
        {"extended Le", {0x00, 0xB0, 0x00, 0x00, 0x00, 0x01, 0x00}, ApduForm::Extended, 0, 0, 0},
        {"too short", {0x00, 0xA4, 0x00}, ApduForm::Malformed, 0, 0, 0},
        {"Lc beyond the data", {0x00, 0xA4, 0x00, 0x0C, 0x03, 0x3F, 0x00}, ApduForm::Malformed, 0, 0, 0},
        {"bytes after Le", {0x00, 0xA4, 0x00, 0x0C, 0x01, 0x3F, 0x00, 0x00}, ApduForm::Malformed, 0, 0, 0},
        {"zero Lc, 6 bytes", {0x00, 0xA4, 0x00, 0x0C, 0x00, 0x3F}, ApduForm::Malformed, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CommandApdu a;
        ASSERT_EQ(parseCommandApdu(c.bytes.data(), c.bytes.size(), a), c.form);
        if (c.form != ApduForm::Short) continue;
        EXPECT_EQ(a.isoCase, c.isoCase);
        EXPECT_EQ(a.data.size(), c.lc);
        EXPECT_EQ(a.le, c.le);
        EXPECT_EQ(Bytes({a.cla, a.ins, a.p1, a.p2}), Bytes(c.bytes.begin(), c.bytes.begin() + 4));
        const auto dataStart = c.bytes.begin() + 5;
        if (c.lc) {
            EXPECT_EQ(a.data, Bytes(dataStart, dataStart + static_cast<long>(c.lc)));
        }
    }
}
