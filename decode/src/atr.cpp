#include "decode/atr.h"

#include <algorithm>
#include <array>

namespace kvr::decode {

namespace {

// ISO/IEC 7816-3, the FI and DI codes; 0 stands for RFU.
constexpr std::array<int, 16> kFi{372, 372, 558, 744, 1116, 1488, 1860, 0, 0, 512, 768, 1024, 1536, 2048, 0, 0};
constexpr std::array<int, 16> kFmaxKHz{4000, 5000, 6000, 8000,  12000, 16000, 20000, 0,
                                       0,    5000, 7500, 10000, 15000, 20000, 0,     0};
constexpr std::array<int, 16> kDi{0, 1, 2, 4, 8, 16, 32, 64, 12, 20, 0, 0, 0, 0, 0, 0};

std::optional<int> entry(const std::array<int, 16> &table, uint8_t code) {
    const int value = table[code & 0x0F];
    return value ? std::optional<int>(value) : std::nullopt;
}

// The global and protocol parameters that the interface bytes read so far
// carry.
void interpret(Atr &atr) {
    for (const InterfaceGroup &group : atr.groups) {
        if (group.index == 1) {
            if (group.ta) {
                atr.rates.fromTa1 = true;
                atr.rates.fiCode = static_cast<uint8_t>(*group.ta >> 4);
                atr.rates.diCode = static_cast<uint8_t>(*group.ta & 0x0F);
            }
            atr.extraGuardTime = group.tc;
        } else if (group.index == 2) {
            if (group.ta)
                atr.specificMode = SpecificMode{*group.ta & 0x0F, (*group.ta & 0x80) == 0, (*group.ta & 0x10) != 0};
            atr.waitingIntegerT0 = group.tc;
        } else if (group.protocol == 1) {
            if (group.ta && !atr.t1.ifsc) atr.t1.ifsc = group.ta;
            if (group.tb && !atr.t1.bwi) {
                atr.t1.bwi = static_cast<uint8_t>(*group.tb >> 4);
                atr.t1.cwi = static_cast<uint8_t>(*group.tb & 0x0F);
            }
            if (group.tc && !atr.t1.crc) atr.t1.crc = (*group.tc & 0x01) != 0;
        } else if (group.protocol == 15) {
            if (group.ta && !atr.t15.clockStop) {
                atr.t15.clockStop = static_cast<T15Parameters::ClockStop>(*group.ta >> 6);
                atr.t15.classes = static_cast<uint8_t>(*group.ta & 0x3F);
            }
            if (group.tb && !atr.t15.spu) atr.t15.spu = group.tb;
        }
    }
    atr.rates.fi = entry(kFi, atr.rates.fiCode);
    atr.rates.fmaxKHz = entry(kFmaxKHz, atr.rates.fiCode);
    atr.rates.di = entry(kDi, atr.rates.diCode);
    if (atr.protocols.empty()) atr.protocols.push_back(0);
}

std::string byteName(char kind, int group) { return std::string("T") + kind + std::to_string(group); }

}  // namespace

std::optional<int> fiOfCode(uint8_t fi) { return entry(kFi, fi); }
std::optional<int> fmaxKHzOfCode(uint8_t fi) { return entry(kFmaxKHz, fi); }
std::optional<int> diOfCode(uint8_t di) { return entry(kDi, di); }

std::optional<double> RateFactors::cyclesPerEtu() const {
    if (!fi || !di) return std::nullopt;
    return static_cast<double>(*fi) / static_cast<double>(*di);
}

Atr decodeAtr(std::span<const uint8_t> bytes) {
    Atr atr;
    const std::size_t n = bytes.size();
    atr.length = n;
    atr.overlong = n > kAtrMaxBytes;
    auto stopAt = [&atr](std::size_t offset, std::string reason) {
        atr.stop = AtrStop{offset, std::move(reason)};
        interpret(atr);
        return atr;
    };
    if (n == 0) return stopAt(0, "falta TS");
    atr.ts = bytes[0];
    if (atr.ts == 0x3B) {
        atr.convention = Convention::Direct;
    } else if (atr.ts == 0x3F) {
        atr.convention = Convention::Inverse;
    } else {
        return stopAt(0, "TS no es 3B ni 3F");
    }
    if (n < 2) return stopAt(1, "falta T0");
    atr.t0 = bytes[1];
    atr.historicalCount = bytes[1] & 0x0F;

    // Each Y bit set announces one byte of the group, TA first; a TD
    // announces the next group and the protocol it speaks for.
    std::size_t at = 2;
    unsigned present = bytes[1] >> 4;
    InterfaceGroup group;
    for (;;) {
        constexpr char kKinds[] = {'A', 'B', 'C', 'D'};
        bool more = false;
        for (unsigned bit = 0; bit < 4; ++bit) {
            if (!(present & (1u << bit))) continue;
            const char kind = kKinds[bit];
            if (at >= n) {
                atr.groups.push_back(group);
                return stopAt(at, "falta " + byteName(kind, group.index));
            }
            const uint8_t value = bytes[at];
            atr.interfaceBytes.push_back(InterfaceByte{kind, group.index, value, at});
            ++at;
            switch (kind) {
            case 'A': group.ta = value; break;
            case 'B': group.tb = value; break;
            case 'C': group.tc = value; break;
            default:
                group.td = value;
                more = true;
                break;
            }
        }
        atr.groups.push_back(group);
        if (!more) break;
        const uint8_t td = *group.td;
        const int protocol = td & 0x0F;
        if (protocol != 15 && std::find(atr.protocols.begin(), atr.protocols.end(), protocol) == atr.protocols.end())
            atr.protocols.push_back(protocol);
        if (protocol != 0) atr.tck.expected = true;
        present = td >> 4;
        InterfaceGroup next;
        next.index = group.index + 1;
        next.protocol = protocol;
        group = next;
    }

    const std::size_t k = static_cast<std::size_t>(atr.historicalCount);
    const std::size_t available = std::min(k, n - at);
    atr.historical.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                          bytes.begin() + static_cast<std::ptrdiff_t>(at + available));
    atr.historicalDecoded = decodeHistoricalBytes(atr.historical);
    if (available < k)
        return stopAt(n,
                      "faltan " + std::to_string(k - available) + " de los " + std::to_string(k) + " bytes históricos");
    at += k;

    if (atr.tck.expected) {
        uint8_t sum = 0;
        for (std::size_t i = 1; i < at; ++i) sum = static_cast<uint8_t>(sum ^ bytes[i]);
        atr.tck.right = sum;
        if (at >= n) return stopAt(at, "falta TCK");
        atr.tck.present = true;
        atr.tck.value = bytes[at];
        atr.tck.ok = atr.tck.value == sum;
        ++at;
    }
    atr.trailing.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    interpret(atr);
    return atr;
}

}  // namespace kvr::decode
