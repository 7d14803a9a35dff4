// Command line of kvr7x-emu.
#ifndef KVR7X_EMU_OPTIONS_H
#define KVR7X_EMU_OPTIONS_H

#include <string>
#include <vector>

#include "emulator.h"

namespace kvr7x::emu {

struct Options {
    Config config;
    std::string logPath;  // "-": standard error; empty: no text log
    bool help = false;
    bool version = false;
    bool control = false;  // read control commands on standard input
};

// Parses the arguments after the program name.  False with `error` on a bad
// option or value.
[[nodiscard]] bool parseOptions(const std::vector<std::string> &args, Options &out, std::string &error);

// The --help text.
std::string usage();

}  // namespace kvr7x::emu

#endif
