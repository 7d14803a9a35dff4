// Turning the reset answer into the reader identification.
#include "session/reader_identification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvr::session {
namespace {

AnswerBuffer answerOf(const std::string &text, const std::vector<uint8_t> &after = {}) {
    AnswerBuffer buffer{};
    std::size_t i = 0;
    for (char c : text) buffer[i++] = static_cast<uint8_t>(c);
    for (uint8_t b : after) buffer[i++] = b;
    return buffer;
}

const std::vector<uint8_t> kVersionsAndSerial = {0x01, 0x02, 0x03, 0x04, 0x0A, 0xB1,
                                                 0xC2, 0xD3, 0xE4, 0xF5, 0x06, 0x17};

struct Case {
    const char *name;
    int32_t result;
    AnswerBuffer answer;
    std::string model, serial, hardware, firmware;
};

TEST(ReaderIdentification, AnswersTable) {
    const std::string blank20(20, ' '), blank16(16, ' '), blank10(10, ' ');
    const Case cases[] = {
        {"extended", 0, answerOf("VEXA KVR74A#", kVersionsAndSerial), "VEXA KVR74A         ", "0AB1C2D3E4F50617",
         "0102      ", "03.04     "},
        {"basic", 0, answerOf("VEXA KVR73C#", kVersionsAndSerial), "VEXA KVR73C         ", "010203040A      ", blank10,
         blank10},
        {"failed reset", static_cast<int32_t>(0x80000000u), answerOf("VEXA KVR74A#", kVersionsAndSerial), blank20,
         blank16, blank10, blank10},
        {"positive error", 0x50, answerOf("VEXA KVR74A#", kVersionsAndSerial), blank20, blank16, blank10, blank10},
        // Leading spaces: the model is the p - 1 characters after them, so it
        // runs past the "#" by as many characters as there were spaces.
        {"leading spaces", 0, answerOf("  KVR7C#", {0x41, 0x42, 0x43, 0x44, 0x45}), "KVR7C#A             ",
         "4142434445      ", blank10, blank10},
        // A model longer than 20 characters is cut.
        {"long model", 0, answerOf("ABCDEFGHI4KLMNOPQRSTUVWXYZ#", kVersionsAndSerial), "ABCDEFGHI4KLMNOPQRST",
         "0AB1C2D3E4F50617", "0102      ", "03.04     "},
        // Zero bytes after the "#" are converted like any other byte.
        {"zero bytes", 0,
         answerOf("VEXA KVR74A#", {0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09}),
         "VEXA KVR74A         ", "0000000000000009", "0000      ", "00.05     "},
        // Without "#" the whole text is the model and the bytes come from the
        // start of the buffer.
        {"no hash, basic", 0, answerOf("KVR73"), "KVR73               ", "4B56523733      ", blank10, blank10},
        {"no hash, extended", 0, answerOf("ABCDEFGHI4XYZ"), "ABCDEFGHI4XYZ       ", "4546474849345859", "4142      ",
         "43.44     "},
        {"empty answer", 0, AnswerBuffer{}, blank20, "0000000000      ", blank10, blank10},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const ReaderIdentification id = identifyReader(c.result, c.answer);
        EXPECT_EQ(id.identified, c.result == 0);
        EXPECT_EQ(id.model, c.model);
        EXPECT_EQ(id.serialNumber, c.serial);
        EXPECT_EQ(id.hardwareVersion, c.hardware);
        EXPECT_EQ(id.firmwareVersion, c.firmware);
    }
}

TEST(ReaderIdentification, FamilyDigitAndModelLetter) {
    const ReaderIdentification extended = identifyReader(0, answerOf("VEXA KVR74W#", kVersionsAndSerial));
    EXPECT_EQ(extended.familyDigit(), '4');
    EXPECT_EQ(extended.modelLetter(), 'W');
    EXPECT_TRUE(extended.extendedLayout());
    const ReaderIdentification basic = identifyReader(0, answerOf("VEXA KVR73C#", kVersionsAndSerial));
    EXPECT_EQ(basic.familyDigit(), '3');
    EXPECT_EQ(basic.modelLetter(), 'C');
    EXPECT_FALSE(basic.extendedLayout());
    const ReaderIdentification none = identifyReader(-1, answerOf("VEXA KVR74A#"));
    EXPECT_FALSE(none.extendedLayout());
    EXPECT_EQ(none.modelLetter(), ' ');
}

TEST(ReaderIdentification, HashNearTheEndReadsNoFurtherThanTheBuffer) {
    AnswerBuffer buffer{};
    for (std::size_t i = 0; i < 250; ++i) buffer[i] = 'X';
    buffer[9] = '4';
    buffer[250] = '#';
    buffer[251] = 0x11;
    buffer[252] = 0x22;
    buffer[253] = 0x33;
    buffer[254] = 0x44;
    buffer[255] = 0x55;
    const ReaderIdentification id = identifyReader(0, buffer);
    EXPECT_EQ(id.hardwareVersion, "1122      ");
    EXPECT_EQ(id.firmwareVersion, "33.44     ");
    // Offsets 5..12: one byte inside the buffer, the rest past its end read as 0.
    EXPECT_EQ(id.serialNumber, "5500000000000000");
}

}  // namespace
}  // namespace kvr::session
