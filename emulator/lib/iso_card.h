// A small ISO 7816-4 card with a few transparent files in a tree, enough to
// exercise the ISO commands of a reader the way a T=0 card answers them:
// SELECT by file identifier, by path and by DF name, READ BINARY, GET
// RESPONSE for what a SELECT left waiting (announced with 61xx), and GET
// CHALLENGE.
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
        uint16_t parent = 0x3F00;     // the DF holding it (the MF holds itself)
        std::vector<uint8_t> name{};  // DF name (application identifier), may be empty
    };

    // The default card: MF 3F00 holding EF 2F00 (a label), EF 0002 (serial
    // number) and DF 7F10, named F0 "KVR7X.DEMO", holding EF 6F01 (300
    // bytes counting up from 00).
    IsoCard();

    // Answer-to-reset the reader returns on activation.
    const std::vector<uint8_t> &atr() const { return atr_; }
    void setAtr(std::vector<uint8_t> atr) { atr_ = std::move(atr); }

    // Back to the MF with no file selected and no response waiting (power
    // cycle).
    void reset();

    // One command.  `data` holds the command data when the command carried a
    // data block (Lc = data.size()); otherwise p3 is Le.
    [[nodiscard]] CardResponse process(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, uint8_t p3,
                                       const std::vector<uint8_t> &data, bool withData);

    const std::vector<File> &files() const { return files_; }

private:
    CardResponse select(uint8_t p1, uint8_t p2, const std::vector<uint8_t> &data, bool withData);
    [[nodiscard]] int findSelected(uint8_t p1, const std::vector<uint8_t> &data) const;
    [[nodiscard]] int child(int df, uint16_t id) const;
    // The first file with the identifier; the DF whose name begins with
    // the bytes; the file at the end of a path from the MF or the current
    // DF.  -1 when there is none.
    [[nodiscard]] int anyFile(uint16_t id) const;
    [[nodiscard]] int byDfName(const std::vector<uint8_t> &data) const;
    [[nodiscard]] int byPath(bool fromMf, const std::vector<uint8_t> &data) const;
    std::vector<uint8_t> controlInformation(const File &f, uint8_t templateTag) const;
    CardResponse readBinary(uint8_t p1, uint8_t p2, uint8_t p3, bool withData);
    CardResponse getResponse(uint8_t p3);

    std::vector<File> files_;  // files_[0] is the MF
    std::vector<uint8_t> atr_;
    int current_ = -1;   // index into files_ of the selected file, -1: none
    int currentDf_ = 0;  // index of the current DF
    std::vector<uint8_t> pending_;
    uint32_t challenge_ = 0x5EED1234u;
};

}  // namespace kvr7x::emu

#endif
