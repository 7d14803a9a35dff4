// A card's answer to reset (ISO/IEC 7816-3) taken apart: TS and T0, the
// interface-byte groups with the protocol each belongs to, the global
// parameters they carry (Fi/Di and fmax, the extra guard time, the specific
// mode, the T=0 waiting time), the T=1 and T=15 bytes, the historical bytes
// and the check byte TCK.
//
// The decoder reads the bytes it is given and nothing beyond them.  An ATR
// that ends early or is built wrong is decoded as far as it goes, and
// `stop` says at which byte and why it went no further; an ATR longer than
// the 33 bytes the standard allows is decoded all the same and flagged.
#ifndef KVR_DECODE_ATR_H
#define KVR_DECODE_ATR_H

#include "decode/historical_bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvr::decode {

inline constexpr std::size_t kAtrMaxBytes = 33;

enum class Convention { Direct, Inverse };

// One interface byte: "TA1" is kind 'A', group 1.
struct InterfaceByte {
    char kind = 'A';  // 'A', 'B', 'C' or 'D'
    int group = 1;    // i of TAi, from 1
    uint8_t value = 0;
    std::size_t offset = 0;  // its place in the ATR

    std::string name() const { return std::string("T") + kind + std::to_string(group); }
};

// The interface bytes of one group i and the protocol they speak for: none
// for group 1 (global), the T that TD(i-1) names for the others.
struct InterfaceGroup {
    int index = 1;
    std::optional<int> protocol;
    std::optional<uint8_t> ta, tb, tc, td;
};

// TA1 (or its default) as the clock rate conversion and baud rate
// adjustment factors.
struct RateFactors {
    bool fromTa1 = false;  // false: the defaults, TA1 is absent
    uint8_t fiCode = 1, diCode = 1;
    std::optional<int> fi;  // empty: an RFU value of FI
    std::optional<int> fmaxKHz;
    std::optional<int> di;  // empty: an RFU value of DI
    // Clock cycles per ETU, Fi / Di; empty when either is RFU.
    std::optional<double> cyclesPerEtu() const;
};

// TA2: the card's specific mode.
struct SpecificMode {
    int protocol = 0;
    bool changeable = true;  // bit 8 clear: the card can change to negotiable mode
    bool implicit = false;   // bit 5 set: the parameters are implicit, not TA1's
};

// The first TA, TB and TC that a TD offered for T=1.
struct T1Parameters {
    std::optional<uint8_t> ifsc;  // 01..FE valid; 00 and FF are RFU
    std::optional<uint8_t> bwi, cwi;
    std::optional<bool> crc;  // true CRC, false LRC
};

// The first TA and TB after a TD that named T=15.
struct T15Parameters {
    enum class ClockStop { NotSupported, StateL, StateH, NoPreference };
    std::optional<ClockStop> clockStop;
    std::optional<uint8_t> classes;  // bit 1 class A (5 V), bit 2 B (3 V), bit 3 C (1.8 V)
    std::optional<uint8_t> spu;      // TB: standard or proprietary use of C6
};

struct CheckByte {
    bool expected = false;  // some TD names a protocol other than T=0
    bool present = false;
    uint8_t value = 0;
    bool ok = false;
    // What TCK would be for the bytes T0.. before it to XOR to zero.
    uint8_t right = 0;
};

// Where decoding stopped before the end of a well-formed ATR.
struct AtrStop {
    std::size_t offset = 0;  // the byte that is missing or wrong
    std::string reason;      // Spanish
};

struct Atr {
    std::size_t length = 0;  // bytes given
    uint8_t ts = 0;
    std::optional<Convention> convention;  // empty: TS is neither 3B nor 3F
    std::optional<uint8_t> t0;
    int historicalCount = 0;  // K of T0
    std::vector<InterfaceByte> interfaceBytes;
    std::vector<InterfaceGroup> groups;
    std::vector<int> protocols;  // offered, in order; {0} when no TD says more
    RateFactors rates;
    std::optional<uint8_t> extraGuardTime;  // TC1; 255 is the minimum
    std::optional<SpecificMode> specificMode;
    std::optional<uint8_t> waitingIntegerT0;  // TC2, default 10
    T1Parameters t1;
    T15Parameters t15;
    std::vector<uint8_t> historical;  // as many of the K bytes as there are
    HistoricalBytes historicalDecoded;
    CheckByte tck;
    std::vector<uint8_t> trailing;  // bytes after the ATR's end
    bool overlong = false;          // more than 33 bytes given
    std::optional<AtrStop> stop;

    bool complete() const { return !stop.has_value(); }
};

// Decodes the bytes as an ATR; never reads past bytes.end().
Atr decodeAtr(std::span<const uint8_t> bytes);

// The FI and DI tables of ISO/IEC 7816-3: empty for an RFU code.
std::optional<int> fiOfCode(uint8_t fi);
std::optional<int> fmaxKHzOfCode(uint8_t fi);
std::optional<int> diOfCode(uint8_t di);

}  // namespace kvr::decode

#endif
