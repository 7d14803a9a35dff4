#include "options.h"

#include <getopt.h>

#include <array>
#include <cstdlib>

#include "common/hex.h"
#include "control_commands.h"

#include "telnet/host_port.h"

namespace kvr7x::emu {

namespace {

// Hex digit pairs, with spaces, colons or commas between them or not.
bool parseHexBytes(const std::string &text, std::vector<uint8_t> &out) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == ',') continue;
        digits += c;
    }
    auto bytes = kvr::common::bytesOfHex(digits);
    if (!bytes) return false;
    out = std::move(*bytes);
    return true;
}

bool parseNumber(const std::string &text, unsigned long max, unsigned long &out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::strtoul(text.c_str(), nullptr, 10);
    return out <= max;
}

}  // namespace

std::string usage() {
    return R"(Usage: kvr7x-emu [OPTION]...
A virtual KVR7x smart-card reader behind a network serial port (telnet
COM-PORT option, RFC 2217).  Point the driver at rfc2217://HOST:PORT, or map
a COMn name to that URL in $XDG_CONFIG_HOME/kvr7x/ports.  One client is
served at a time; a second connection is closed at once (see --take-over).
Runs until interrupted (Ctrl+C, SIGTERM).

Line and reader:
  --listen HOST:PORT     address to serve (default 127.0.0.1:7201; port 0
                         picks a free one, printed at start)
  --basic                a basic-layout reader that echoes every byte:
                         identification "VEXA KVR73C#" and 5 serial bytes
  --id-text TEXT         identification text, e.g. "VEXA KVR74S#"; the reader
                         echoes when it begins "VEXA" and its 10th character
                         is "3"
  --id-bytes HEX         bytes appended to the identification text (versions
                         and serial number), e.g. "0102 0304 0000740520260A42"
  --no-card              start with the card slot empty (DSR off)
  --sams LIST            SAM slots holding a module, e.g. "1,3"; "none" for
                         none (default 1)
  --unpowered            start with the reader unpowered: carrier off, no
                         answers at all
  --silent               the reader never answers: no reset answer, no echo,
                         no replies
  --latency MS           wait MS milliseconds before every reply and reset
                         answer (default 0)
  --noise HEX            bytes sent before the 0x90 of every reset answer
  --paced                send and take bytes at the real line rate of
                         9600 bit/s (about 1.04 ms a byte); default: as fast
                         as possible
  --rules FILE           scripted replies, checked before the built-in ones
  --log FILE             log every frame received and sent, in hex, to FILE
                         ("-" for standard error); without it nothing is kept
  --control              read control commands on standard input (below)
  --help                 show this text and end
  --version              show the version and end

Sessions:
  --idle-timeout SECONDS end a session in which the client has sent nothing
                         for SECONDS (default 0: never).  A client whose host
                         vanished is found by TCP keep-alive within about a
                         minute whatever this says.
  --take-over SECONDS    let a new client take the place of a client that
                         has sent nothing for SECONDS (0: of any client, as
                         ser2net's kickolduser); default: refuse it
  A client that sends and never reads what it is sent is no longer read
  once 64 KiB wait for it.

Behaviour:
  RTS raised then lowered resets the reader; it answers 90, a status byte,
  N and N identification bytes.  Reader commands (CODE 20, P1 = unit: 0 the
  card, 1..3 the SAM slots): INS 10 status, 20 insert, 30 remove, 70 select
  card type, 80 activate (reply data: the ATR), 90 deactivate.  STAT 00 done,
  50 no card in the unit, 60 card type not supported, C0 card not powered,
  D0 bad unit, F0 unknown command.  ISO commands (CODE 21+unit without data,
  A1+unit with P3 data bytes) go to a small ISO 7816-4 card that answers like
  a T=0 card: SELECT A4 by file identifier (P1 00, 01 DF, 02 EF, 03 parent),
  by DF name or its beginning (P1 04) and by path (P1 08 from the MF, 09
  from the current DF); 6A82 when not found; P2 0C answers 9000, P2 00 (FCI)
  and 04 (FCP) answer 61xx and leave the information for GET RESPONSE C0
  (6Cxx when its Le is too long, 61xx when too short); READ BINARY B0, GET
  CHALLENGE 84, 6D00 for other instructions, 6E00 for a class other than
  00.  Files: 3F00 (MF) holding 2F00 (a label), 0002 (serial number) and
  DF 7F10, named F0 "KVR7X.DEMO" (F0 4B 56 52 37 58 2E 44 45 4D 4F), which
  holds 6F01 (300 bytes 00 01 02 ...).  Replies: STAT SW1 SW2 LEN and LEN bytes.
  DSR is on while a card is in the card slot, carrier and CTS while the
  reader is powered.

Control commands (with --control), one a line on standard input; each is
answered on standard output with one line, "ok: ..." or "error: ...":
)" + controlCommandsHelp() +
           R"(
Rules file, one rule a line:   PATTERN => STAT SW1 SW2 [| DATA]
  PATTERN is the frame as received (CODE CLA INS P1 P2 P3 [data]) in hex;
  "??" matches any byte and a final "*" any further bytes; without "*" the
  frame length must match.  DATA (at most 255 bytes) follows the reply
  header, LEN is its count.  "#" starts a comment; the first match wins.
  Example:
    A1 00 A4 04 00 * => 00 90 00 | 6F 10 84 08 A0 00 00 00 03 00 00 00
    21 00 CA ?? ?? ?? => 00 6A 88
)";
}

namespace {

// Option codes for getopt_long: the short options' letters, and numbers past
// any character for the long-only ones.
enum OptionCode : int {
    kHelp = 'h',
    kVersion = 'V',
    kListen = 256,
    kBasic,
    kIdText,
    kIdBytes,
    kNoCard,
    kSams,
    kUnpowered,
    kSilent,
    kLatency,
    kNoise,
    kPaced,
    kRules,
    kControl,
    kLog,
    kIdleTimeout,
    kTakeOver,
};

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"listen", required_argument, nullptr, kListen},
    {"basic", no_argument, nullptr, kBasic},
    {"id-text", required_argument, nullptr, kIdText},
    {"id-bytes", required_argument, nullptr, kIdBytes},
    {"no-card", no_argument, nullptr, kNoCard},
    {"sams", required_argument, nullptr, kSams},
    {"unpowered", no_argument, nullptr, kUnpowered},
    {"silent", no_argument, nullptr, kSilent},
    {"latency", required_argument, nullptr, kLatency},
    {"noise", required_argument, nullptr, kNoise},
    {"paced", no_argument, nullptr, kPaced},
    {"rules", required_argument, nullptr, kRules},
    {"control", no_argument, nullptr, kControl},
    {"log", required_argument, nullptr, kLog},
    {"idle-timeout", required_argument, nullptr, kIdleTimeout},
    {"take-over", required_argument, nullptr, kTakeOver},
    {nullptr, 0, nullptr, 0},
};

// The identification options, applied once all options are read.
struct Identification {
    bool basic = false;
    std::string text;
    std::vector<uint8_t> bytes;
    bool haveText = false;  // the two together replace the identification
    bool haveBytes = false;
};

bool parseSams(const std::string &v, std::array<bool, 3> &present, std::string &error) {
    present = {false, false, false};
    if (v == "none") return true;
    for (char c : v) {
        if (c == ',' || c == ' ') continue;
        if (c < '1' || c > '3') {
            error = "--sams wants slot numbers 1 to 3 or \"none\", not \"" + v + "\"";
            return false;
        }
        present[static_cast<size_t>(c - '1')] = true;
    }
    return true;
}

bool parseSeconds(const char *name, const std::string &v, std::chrono::milliseconds &out, std::string &error) {
    unsigned long seconds = 0;
    if (!parseNumber(v, 86400, seconds)) {
        error = std::string(name) + " wants seconds (0 to 86400), not \"" + v + "\"";
        return false;
    }
    out = std::chrono::seconds(seconds);
    return true;
}

// The options that say how the reader behaves on the line.
bool applyReaderOption(int code, const std::string &v, Config &config, std::string &error) {
    switch (code) {
    case kNoCard: config.cardPresent = false; return true;
    case kSams: return parseSams(v, config.samPresent, error);
    case kUnpowered: config.powered = false; return true;
    case kSilent: config.silent = true; return true;
    case kPaced: config.paced = true; return true;
    case kRules: return config.rules.load(v, error);
    case kNoise:
        if (parseHexBytes(v, config.noise)) return true;
        error = "--noise wants hex bytes, not \"" + v + "\"";
        return false;
    case kLatency: {
        unsigned long ms = 0;
        if (!parseNumber(v, 600000, ms)) {
            error = "--latency wants milliseconds (0 to 600000), not \"" + v + "\"";
            return false;
        }
        config.latency = std::chrono::milliseconds(ms);
        return true;
    }
    default: error = "unknown option (see --help)"; return false;
    }
}

// One option with its value (empty for an option without one).
bool applyOption(int code, const std::string &v, Options &out, Identification &id, std::string &error) {
    Config &config = out.config;
    switch (code) {
    case kHelp: out.help = true; return true;
    case kVersion: out.version = true; return true;
    case kControl: out.control = true; return true;
    case kLog: out.logPath = v; return true;
    case kListen:
        if (telnet::splitHostPort(v, config.host, config.port, telnet::PortZero::Allowed)) return true;
        error = "--listen wants HOST:PORT, not \"" + v + "\"";
        return false;
    case kBasic: id.basic = true; return true;
    case kIdText:
        id.text = v;
        id.haveText = true;
        return true;
    case kIdBytes:
        id.haveBytes = true;
        if (parseHexBytes(v, id.bytes)) return true;
        error = "--id-bytes wants hex bytes, not \"" + v + "\"";
        return false;
    case kIdleTimeout: return parseSeconds("--idle-timeout", v, config.idleTimeout, error);
    case kTakeOver: {
        std::chrono::milliseconds after{};
        if (!parseSeconds("--take-over", v, after, error)) return false;
        config.takeOverAfter = after;
        return true;
    }
    default: return applyReaderOption(code, v, config, error);
    }
}

bool applyIdentification(const Identification &id, Config &config, std::string &error) {
    if (id.basic) config.identification = basicIdentification();
    if (!id.haveText && !id.haveBytes) return true;
    std::vector<uint8_t> bytes(id.text.begin(), id.text.end());
    bytes.insert(bytes.end(), id.bytes.begin(), id.bytes.end());
    if (bytes.size() > 255) {
        error = "the identification is longer than 255 bytes";
        return false;
    }
    config.identification = bytes;
    return true;
}

}  // namespace

bool parseOptions(const std::vector<std::string> &args, Options &out, std::string &error) {
    // The program keeps nothing in memory that it does not write out.
    out.config.memoryLog = false;
    // getopt_long wants a writable argv with the program's name first.
    std::vector<std::string> words{"kvr7x-emu"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    argv.reserve(words.size() + 1);
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    // From the start (optind 0 starts glibc's scan afresh), without its own
    // messages (opterr 0, and ':' to tell a missing value from an unknown
    // option), stopping at the first word that is no option ('+').
    optind = 0;
    opterr = 0;
    Identification id;
    for (;;) {
        const int code = getopt_long(argc, argv.data(), "+:hV", kLongOptions, nullptr);
        if (code == -1) break;
        const std::string opt = words[static_cast<size_t>(optind - 1)];
        if (code == ':') {
            error = "option " + opt + " needs a value";
            return false;
        }
        if (code == '?') {
            error = "unknown option \"" + opt + "\" (see --help)";
            return false;
        }
        if (!applyOption(code, optarg ? optarg : "", out, id, error)) return false;
    }
    if (optind < argc) {
        error = "unknown option \"" + words[static_cast<size_t>(optind)] + "\" (see --help)";
        return false;
    }
    return applyIdentification(id, out.config, error);
}

}  // namespace kvr7x::emu
