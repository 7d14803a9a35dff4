// The reader as seen from its serial line: it assembles command frames from
// the bytes it receives, answers them, echoes in echo mode and answers an
// RTS pulse with its reset answer.  Pure: no sockets, no clocks of its own
// (the caller passes the time of each byte), no threads.
#ifndef KVR7X_EMU_READER_MODEL_H
#define KVR7X_EMU_READER_MODEL_H

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "common/reader_protocol.h"
#include "iso_card.h"
#include "rules.h"

namespace kvr7x::emu {

// Reader status bytes (STAT).
inline constexpr uint8_t kStatDone = 0x00;
inline constexpr uint8_t kStatNoCard = kvr::reader::kStatNoCard;
inline constexpr uint8_t kStatCardUnsupported = 0x60;
inline constexpr uint8_t kStatCardNotPowered = 0xC0;
inline constexpr uint8_t kStatBadParameter = 0xD0;
inline constexpr uint8_t kStatUnknownCommand = 0xF0;

// The extended-layout identification the emulator gives by default, and the
// basic-layout one of an echoing reader.
std::vector<uint8_t> defaultIdentification();
std::vector<uint8_t> basicIdentification();
// True when an identification makes the reader echo: "VEXA" with "3" as
// its tenth byte.
bool identificationEchoes(const std::vector<uint8_t> &identification);

// Something the reader puts on the line.
struct Emission {
    enum class Kind : uint8_t { Echo, Reply, ResetAnswer };
    Kind kind;
    std::vector<uint8_t> bytes;  // for a reset answer: noise, 0x90, status, N, data
    size_t noise = 0;            // leading noise bytes of a reset answer
};

// What one input produced.
struct ModelOutput {
    std::vector<Emission> emissions;
    std::vector<std::vector<uint8_t>> frames;  // command frames received whole
    std::vector<std::string> notes;            // things worth logging
    void clear() {
        emissions.clear();
        frames.clear();
        notes.clear();
    }
};

class ReaderModel {
public:
    using Clock = std::chrono::steady_clock;
    // A frame whose bytes stop coming for this long is dropped.
    static constexpr auto kFrameGap = std::chrono::milliseconds(1000);

    ReaderModel();

    void setIdentification(std::vector<uint8_t> id) { identification_ = std::move(id); }
    const std::vector<uint8_t> &identification() const { return identification_; }
    bool echoes() const { return identificationEchoes(identification_); }
    void setSecondStatus(uint8_t b) { secondStatus_ = b; }
    void setNoise(std::vector<uint8_t> noise) { noise_ = std::move(noise); }
    void setRules(RuleSet rules) { rules_ = std::move(rules); }
    // A silent reader neither answers nor echoes; an unpowered one neither.
    void setSilent(bool silent) { silent_ = silent; }
    bool silent() const { return silent_; }
    void setPowered(bool powered);
    bool powered() const { return powered_; }
    // Unit 0 is the card slot, 1..3 the SAM slots.
    void setPresent(unsigned unit, bool present);
    bool present(unsigned unit) const { return unit < 4 && units_[unit].present; }
    bool active(unsigned unit) const { return unit < 4 && units_[unit].active; }

    IsoCard &card(unsigned unit) { return cards_[unit & 3]; }
    const IsoCard &card(unsigned unit) const { return cards_[unit & 3]; }

    // The RTS line.  Raising and then lowering it resets the reader, which
    // then sends its reset answer.
    void setRts(bool on, ModelOutput &out);
    // One byte from the host.
    void receive(uint8_t byte, Clock::time_point when, ModelOutput &out);
    // The host went away: forget any half-received frame.
    void dropPartialFrame(ModelOutput &out);

    size_t resets() const { return resets_; }

private:
    struct Unit {
        bool present = false;
        bool active = false;
        uint8_t cardType = 0;
    };

    bool answering() const { return powered_ && !silent_; }
    void handleFrame(ModelOutput &out);
    Reply readerCommand(uint8_t ins, uint8_t unit, uint8_t p2);
    Reply isoCommand(unsigned unit, bool withData, const std::vector<uint8_t> &frame);

    std::vector<uint8_t> identification_;
    uint8_t secondStatus_ = 0x00;
    std::vector<uint8_t> noise_;
    RuleSet rules_;
    bool silent_ = false;
    bool powered_ = true;
    bool rts_ = false;
    std::array<Unit, 4> units_;
    std::array<IsoCard, 4> cards_;
    std::vector<uint8_t> frame_;
    Clock::time_point lastByte_{};
    size_t resets_ = 0;
};

}  // namespace kvr7x::emu

#endif
