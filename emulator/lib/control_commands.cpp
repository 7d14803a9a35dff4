#include "control_commands.h"

#include "common/hex.h"

#include <sstream>
#include <vector>

namespace kvr7x::emu {

namespace {

std::vector<std::string> words(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// "in"/"on" true, "out"/"off" false; anything else is no switch.
bool parseSwitch(const std::string &w, const char *onWord, const char *offWord, bool &on) {
    if (w == onWord) {
        on = true;
        return true;
    }
    if (w == offWord) {
        on = false;
        return true;
    }
    return false;
}

}  // namespace

std::string controlCommandsHelp() {
    return R"(  card in | card out     put the card into the card slot / take it out (DSR)
  sam N in | sam N out   the same for SAM slot N (1 to 3)
  power on | power off   power the reader / cut its power (carrier and CTS)
  silent on | silent off stop / resume answering
  status                 answers "ok: card in|out, power on|off, atr HEX"
)";
}

std::string runControlCommand(Emulator &emulator, const std::string &line) {
    const std::vector<std::string> w = words(line);
    if (w.empty() || w[0][0] == '#') return {};
    bool on = false;
    if (w.size() == 2 && w[0] == "card" && parseSwitch(w[1], "in", "out", on)) {
        emulator.setCardPresent(on);
        return on ? "ok: card in" : "ok: card out";
    }
    if (w.size() == 3 && w[0] == "sam" && w[1].size() == 1 && w[1][0] >= '1' && w[1][0] <= '3' &&
        parseSwitch(w[2], "in", "out", on)) {
        emulator.setSamPresent(static_cast<unsigned>(w[1][0] - '0'), on);
        return "ok: sam " + w[1] + (on ? " in" : " out");
    }
    if (w.size() == 2 && w[0] == "power" && parseSwitch(w[1], "on", "off", on)) {
        emulator.setPowered(on);
        return on ? "ok: power on" : "ok: power off";
    }
    if (w.size() == 2 && w[0] == "silent" && parseSwitch(w[1], "on", "off", on)) {
        emulator.setSilent(on);
        return on ? "ok: silent on" : "ok: silent off";
    }
    if (w.size() == 1 && w[0] == "status") {
        const uint8_t lines = emulator.modemState();
        const std::string atr = kvr::common::hexPacked(emulator.atr(0));
        return std::string("ok: card ") + ((lines & 0x20) ? "in" : "out") + ", power " +
               ((lines & 0x80) ? "on" : "off") + ", atr " + atr;
    }
    return "error: unknown command \"" + line + "\"";
}

}  // namespace kvr7x::emu
