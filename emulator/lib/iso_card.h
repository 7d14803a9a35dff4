// A small ISO 7816-4 card with a few transparent files, enough to exercise
// the ISO commands of a reader: SELECT by file identifier, READ BINARY,
// GET RESPONSE and GET CHALLENGE.
#ifndef KVR7X_EMU_ISO_CARD_H
#define KVR7X_EMU_ISO_CARD_H

#include <cstdint>
#include <string>
#include <vector>

namespace kvr7x::emu {

struct CardResponse {
    uint8_t sw1 = 0x90;
    uint8_t sw2 = 0x00;
    std::vector<uint8_t> data;
};

class IsoCard {
public:
    struct File {
        uint16_t id;
        bool dedicated;  // a DF: selectable, not readable
        std::vector<uint8_t> contents;
    };

    // The default card: MF 3F00, EF 2F00 (a label), EF 0002 (serial
    // number), DF 7F10 with EF 6F01 (300 bytes counting up from 00).
    IsoCard();

    // Answer-to-reset the reader returns on activation.
    const std::vector<uint8_t> &atr() const { return atr_; }
    void setAtr(std::vector<uint8_t> atr) { atr_ = std::move(atr); }

    // Forget the selected file and any pending response (power cycle).
    void reset();

    // One command.  `data` holds the command data when the command carried a
    // data block (Lc = data.size()); otherwise p3 is Le.
    CardResponse process(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, uint8_t p3,
                         const std::vector<uint8_t> &data, bool withData);

    const std::vector<File> &files() const { return files_; }

private:
    CardResponse select(uint8_t p1, uint8_t p2, const std::vector<uint8_t> &data, bool withData);
    CardResponse readBinary(uint8_t p1, uint8_t p2, uint8_t p3, bool withData);
    CardResponse getResponse(uint8_t p3);

    std::vector<File> files_;
    std::vector<uint8_t> atr_;
    int current_ = -1;  // index into files_, -1: none
    std::vector<uint8_t> pending_;
    uint32_t challenge_ = 0x5EED1234u;
};

}  // namespace kvr7x::emu

#endif
