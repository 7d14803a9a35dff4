#include "session/reader_identification.h"

#include "session/hex_codec.h"

#include <string_view>

namespace kvr::session {

ReaderIdentification identifyReader(int32_t resetResult, const AnswerBuffer &answer) {
    ReaderIdentification id;
    if (resetResult != 0) return id;
    id.identified = true;

    // The answer as text up to its first zero byte.
    std::size_t textLength = 0;
    while (textLength < answer.size() && answer[textLength] != 0) ++textLength;
    const std::string_view text(reinterpret_cast<const char *>(answer.data()), textLength);

    // p: position of the first "#" counted from 1, 0 when there is none.
    const auto hash = text.find('#');
    const std::size_t p = hash == std::string_view::npos ? 0 : hash + 1;

    const auto firstNonSpace = text.find_first_not_of(' ');
    const std::string_view unpadded =
        firstNonSpace == std::string_view::npos ? std::string_view{} : text.substr(firstNonSpace);
    const std::size_t modelLength = p == 0 ? text.size() : p - 1;
    id.model = fixedWidth(fixedWidth(unpadded, modelLength), 20);

    // Offset 0 is the byte of the "#" (the byte before the buffer when there
    // is none); offsets past the end of the buffer read as zero.
    const auto at = [&](std::size_t offset) -> uint8_t {
        const std::size_t index = p + offset - 1;
        return index < answer.size() ? answer[index] : 0;
    };

    if (id.extendedLayout()) {
        id.hardwareVersion = fixedWidth(hexByte(at(1)) + hexByte(at(2)), 10);
        id.firmwareVersion = fixedWidth(hexByte(at(3)) + "." + hexByte(at(4)), 10);
        std::string serial;
        for (std::size_t offset = 5; offset <= 12; ++offset) serial += hexByte(at(offset));
        id.serialNumber = fixedWidth(serial, 16);
    } else {
        std::string serial;
        for (std::size_t offset = 1; offset <= 5; ++offset) serial += hexByte(at(offset));
        id.serialNumber = fixedWidth(serial, 16);
    }
    return id;
}

}  // namespace kvr::session
