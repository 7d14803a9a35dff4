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

namespace {

// Walks an ATR byte by byte; each step returns false once the bytes end
// early or are wrong, with `stop` set.
class AtrReader {
public:
    AtrReader(std::span<const uint8_t> bytes, Atr &atr) : bytes_(bytes), atr_(atr) {}

    bool header() {
        if (bytes_.empty()) return stop(0, "falta TS");
        atr_.ts = bytes_[0];
        if (atr_.ts == 0x3B) {
            atr_.convention = Convention::Direct;
        } else if (atr_.ts == 0x3F) {
            atr_.convention = Convention::Inverse;
        } else {
            return stop(0, "TS no es 3B ni 3F");
        }
        if (bytes_.size() < 2) return stop(1, "falta T0");
        atr_.t0 = bytes_[1];
        atr_.historicalCount = bytes_[1] & 0x0F;
        at_ = 2;
        return true;
    }

    // Each Y bit set announces one byte of the group, TA first; a TD
    // announces the next group and the protocol it speaks for.
    bool interfaceBytes() {
        unsigned present = bytes_[1] >> 4;
        InterfaceGroup group;
        for (;;) {
            if (!groupBytes(present, group)) {
                atr_.groups.push_back(group);
                return false;
            }
            atr_.groups.push_back(group);
            if (!(present & 0x8)) return true;
            const int protocol = *group.td & 0x0F;
            std::vector<int> &offered = atr_.protocols;
            if (protocol != 15 && std::find(offered.begin(), offered.end(), protocol) == offered.end())
                offered.push_back(protocol);
            if (protocol != 0) atr_.tck.expected = true;
            present = *group.td >> 4;
            InterfaceGroup next;
            next.index = group.index + 1;
            next.protocol = protocol;
            group = next;
        }
    }

    bool historicalBytes() {
        const std::size_t k = static_cast<std::size_t>(atr_.historicalCount);
        const std::size_t available = std::min(k, bytes_.size() - at_);
        const auto from = bytes_.begin() + static_cast<std::ptrdiff_t>(at_);
        atr_.historical.assign(from, from + static_cast<std::ptrdiff_t>(available));
        atr_.historicalDecoded = decodeHistoricalBytes(atr_.historical);
        if (available < k)
            return stop(bytes_.size(), "faltan " + std::to_string(k - available) + " de los " + std::to_string(k) +
                                           " bytes históricos");
        at_ += k;
        return true;
    }

    // TCK: the XOR of T0 up to it, it included, is zero.
    bool checkByte() {
        if (!atr_.tck.expected) return true;
        uint8_t sum = 0;
        for (std::size_t i = 1; i < at_; ++i) sum = static_cast<uint8_t>(sum ^ bytes_[i]);
        atr_.tck.right = sum;
        if (at_ >= bytes_.size()) return stop(at_, "falta TCK");
        atr_.tck.present = true;
        atr_.tck.value = bytes_[at_];
        atr_.tck.ok = atr_.tck.value == sum;
        ++at_;
        return true;
    }

    void trailing() { atr_.trailing.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), bytes_.end()); }

private:
    bool stop(std::size_t offset, std::string reason) {
        atr_.stop = AtrStop{offset, std::move(reason)};
        return false;
    }

    // The bytes of one group that `present` announces.
    bool groupBytes(unsigned present, InterfaceGroup &group) {
        constexpr char kKinds[] = {'A', 'B', 'C', 'D'};
        std::optional<uint8_t> *slots[] = {&group.ta, &group.tb, &group.tc, &group.td};
        for (std::size_t bit = 0; bit < 4; ++bit) {
            if (!(present & (1u << bit))) continue;
            if (at_ >= bytes_.size()) return stop(at_, "falta " + byteName(kKinds[bit], group.index));
            *slots[bit] = bytes_[at_];
            atr_.interfaceBytes.push_back(InterfaceByte{kKinds[bit], group.index, bytes_[at_], at_});
            ++at_;
        }
        return true;
    }

    std::span<const uint8_t> bytes_;
    Atr &atr_;
    std::size_t at_ = 0;
};

}  // namespace

Atr decodeAtr(std::span<const uint8_t> bytes) {
    Atr atr;
    atr.length = bytes.size();
    atr.overlong = bytes.size() > kAtrMaxBytes;
    AtrReader reader(bytes, atr);
    if (reader.header() && reader.interfaceBytes() && reader.historicalBytes() && reader.checkByte()) reader.trailing();
    interpret(atr);
    return atr;
}

}  // namespace kvr::decode
