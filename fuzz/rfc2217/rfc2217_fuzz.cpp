// libFuzzer target: whatever a network serial port server may send.
//
// The input is split into chunks as a socket might deliver them and fed to
// the client's telnet / COM-PORT parser; the data bytes that come out are
// what the driver's reset and command transactions then read as reset
// answers and reply frames, through the real exported calls.  The same
// input also goes, as a client's stream, to the emulator's server side and
// reader.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "com_port_server.h"
#include "kvr7x.h"
#include "port_table.h"
#include "reader_model.h"
#include "rfc2217/client_protocol.h"
#include "serial_port.h"

namespace {

// A port whose receive side is the fuzz input after telnet parsing.  It
// never waits: a read ends short once the input is used up, as a read that
// timed out.
class FuzzPort final : public kvr7x::SerialPort {
public:
    FuzzPort(const uint8_t *bytes, size_t n) {
        const size_t chunk = n ? 1 + (bytes[0] & 0x0F) : 1;
        std::vector<uint8_t> data, reply;
        for (size_t i = n ? 1 : 0; i < n; i += chunk) {
            const size_t k = std::min(chunk, n - i);
            protocol_.receive(bytes + i, k, data, reply);
        }
        rx_.assign(data.begin(), data.end());
    }
    bool exhausted() const { return rx_.empty(); }

    bool getLineSettings(kvr7x::LineSettings &out) override {
        out = line_;
        return true;
    }
    bool setLineSettings(const kvr7x::LineSettings &in) override {
        line_ = in;
        return true;
    }
    bool getTimeouts(kvr7x::Timeouts &out) override {
        out = timeouts_;
        return true;
    }
    bool setTimeouts(const kvr7x::Timeouts &in) override {
        timeouts_ = in;
        return true;
    }
    bool purgeTx() override { return true; }
    bool purgeRx() override { return true; }  // keep the input for the next frame
    bool write(const uint8_t *, size_t n, size_t &written) override {
        written = n;
        return true;
    }
    bool read(uint8_t *buf, size_t n, size_t &got) override {
        got = 0;
        while (got < n && !rx_.empty()) {
            buf[got++] = rx_.front();
            rx_.pop_front();
        }
        kvr7x::setLastError(kvr7x::kErrTimeout);
        return true;
    }
    bool setRts(bool) override { return true; }
    bool modemStatus(uint32_t &bits) override {
        bits = protocol_.modemState().value_or(0) & 0xF0;
        return true;
    }
    bool watchDsr() override { return true; }
    bool waitDsrChange() override { return false; }
    bool restoreLine() override { return true; }
    bool close() override { return true; }

private:
    kvr7x::rfc2217::ClientProtocol protocol_;
    std::deque<uint8_t> rx_;
    kvr7x::LineSettings line_;
    kvr7x::Timeouts timeouts_;
};

class NullListener final : public kvr7x::emu::ComPortListener {
public:
    explicit NullListener(kvr7x::emu::ReaderModel &model) : model_(model) {}
    void onData(uint8_t byte) override {
        model_.receive(byte, kvr7x::emu::ReaderModel::Clock::now(), out_);
        out_.clear();
    }
    void onRts(bool on) override {
        model_.setRts(on, out_);
        out_.clear();
    }
    void onDtr(bool) override {}
    void onPurge(uint8_t) override {}
    void onModemStateOwed() override {}
    void onFlowSuspend(bool) override {}
    void onControl(const std::string &) override {}

private:
    kvr7x::emu::ReaderModel &model_;
    kvr7x::emu::ModelOutput out_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t n) {
    auto port = std::make_shared<FuzzPort>(bytes, n);
    const int32_t handle = kvr7x::registerPort(port);
    if (handle >= 0) {
        uint8_t buf[256];
        int32_t len = 0;
        uint8_t sw1 = 0, sw2 = 0;
        // The reset holds RTS up for 10 ms: only some inputs begin with one.
        if (n > 0 && (bytes[0] & 0xF0) == 0xF0) QXRESET(handle, &len, buf);
        for (int i = 0; i < 64 && !port->exhausted(); ++i) {
            const int32_t r = QXSENDCOMMAND(handle, 0x21, 0, 0xB0, 0, 0, 0, buf, &sw1, &sw2, &len, 0);
            if (r >= 0 && (len < 0 || len > 255)) __builtin_trap();  // LEN is one byte
        }
        QXIFDSTATUS(handle);
        (void)kvr7x::closePort(handle);  // a scripted line that fails its close is not a finding
    }

    kvr7x::emu::ReaderModel model;
    NullListener listener(model);
    kvr7x::emu::ComPortServer server;
    std::vector<uint8_t> reply;
    server.receive(bytes, n, listener, reply);
    return 0;
}
