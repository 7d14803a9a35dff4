// The identification of the attached reader, learnt once when the main
// window opens from the answer to the reader reset.
#ifndef KVR_SESSION_READER_IDENTIFICATION_H
#define KVR_SESSION_READER_IDENTIFICATION_H

#include <array>
#include <cstdint>
#include <string>

namespace kvr::session {

// The identification answer buffer; the SAM probes that follow the
// identification use it as their transfer buffer too.
using AnswerBuffer = std::array<uint8_t, 256>;

struct ReaderIdentification {
    bool identified = false;                   // the reset answered 0
    std::string model = std::string(20, ' ');  // before the first "#"
    std::string serialNumber = std::string(16, ' ');
    std::string hardwareVersion = std::string(10, ' ');
    std::string firmwareVersion = std::string(10, ' ');

    // Character 10 of the model: "4" means the extended layout.
    char familyDigit() const { return model[9]; }
    // Character 11 of the model: the synchronous card type of a basic reader.
    char modelLetter() const { return model[10]; }
    bool extendedLayout() const { return familyDigit() == '4'; }
};

// Turns the result of the reset and its answer buffer into the
// identification.  Any result other than 0 leaves every field blank.
ReaderIdentification identifyReader(int32_t resetResult, const AnswerBuffer &answer);

}  // namespace kvr::session

#endif
