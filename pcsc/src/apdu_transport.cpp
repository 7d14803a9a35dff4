#include "apdu_transport.h"

#include <algorithm>
#include <array>

#include "common/reader_protocol.h"
#include "kvr7x.h"

namespace kvr7x::pcsc {

namespace {

constexpr uint8_t kGetResponse = 0xC0;

struct Reply {
    uint8_t sw1 = 0, sw2 = 0;
    std::vector<uint8_t> data;
};

class Exchange {
public:
    Exchange(int32_t port, unsigned unit, uint32_t timeoutMs)
        : port_(port), unit_(static_cast<uint8_t>(unit)), timeout_(timeoutMs) {}

    // One transaction; `data` goes out as the data block when not null.
    int32_t send(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, uint8_t p3, const std::vector<uint8_t> *data,
                 Reply &reply) {
        std::array<uint8_t, 256> buffer{};
        uint8_t code = static_cast<uint8_t>(kvr::reader::kIsoOut + unit_);
        if (data) {
            std::copy(data->begin(), data->end(), buffer.begin());
            code = static_cast<uint8_t>(kvr::reader::kIsoIn + unit_);
        }
        int32_t len = 0;
        const int32_t r =
            QXSENDCOMMAND(port_, code, cla, ins, p1, p2, p3, buffer.data(), &reply.sw1, &reply.sw2, &len, timeout_);
        if (r == 0) reply.data.assign(buffer.begin(), buffer.begin() + std::clamp(len, 0, 255));
        return r;
    }

private:
    int32_t port_;
    uint8_t unit_;
    uint32_t timeout_;
};

uint8_t lengthByte(unsigned n) { return static_cast<uint8_t>(n & 0xFF); }  // 256 goes as 00
unsigned lengthOf(uint8_t b) { return b == 0 ? 256 : b; }

}  // namespace

ApduOutcome transmitApdu(int32_t port, unsigned unit, const CommandApdu &a, uint32_t timeoutMs) {
    Exchange x(port, unit, timeoutMs);
    Reply reply;
    ApduOutcome out;
    switch (a.isoCase) {
    case 1: out.result = x.send(a.cla, a.ins, a.p1, a.p2, 0, nullptr, reply); break;
    case 2:
        out.result = x.send(a.cla, a.ins, a.p1, a.p2, lengthByte(a.le), nullptr, reply);
        if (out.result == 0 && reply.sw1 == 0x6C)
            out.result = x.send(a.cla, a.ins, a.p1, a.p2, reply.sw2, nullptr, reply);
        break;
    case 3:
        out.result = x.send(a.cla, a.ins, a.p1, a.p2, lengthByte(static_cast<unsigned>(a.data.size())), &a.data, reply);
        break;
    default:
        out.result = x.send(a.cla, a.ins, a.p1, a.p2, lengthByte(static_cast<unsigned>(a.data.size())), &a.data, reply);
        if (out.result == 0 && reply.sw1 == 0x61) {
            const uint8_t le = lengthByte(std::min(lengthOf(reply.sw2), a.le));
            out.result = x.send(a.cla, kGetResponse, 0x00, 0x00, le, nullptr, reply);
            if (out.result == 0 && reply.sw1 == 0x6C)
                out.result = x.send(a.cla, kGetResponse, 0x00, 0x00, reply.sw2, nullptr, reply);
        }
        break;
    }
    if (out.result != 0) return out;
    out.response = std::move(reply.data);
    out.response.push_back(reply.sw1);
    out.response.push_back(reply.sw2);
    return out;
}

}  // namespace kvr7x::pcsc
