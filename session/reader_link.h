// The console's road to the reader: the two driver calls it makes.  The
// main window uses the driver library; the seam lets the console logic run
// against any reader port, and lets tests inject faults a reader cannot
// produce (a platform error code, for example).
#ifndef KVR_SESSION_READER_LINK_H
#define KVR_SESSION_READER_LINK_H

#include <cstdint>

namespace kvr::session {

struct CommandHeader {
    uint8_t code = 0, cla = 0, ins = 0, p1 = 0, p2 = 0, p3 = 0;
    bool operator==(const CommandHeader &) const = default;
};

class ReaderLink {
public:
    virtual ~ReaderLink() = default;
    // One command transaction: data holds the command data going out (bit 7
    // of CODE set) and the reply data coming back (256 bytes of room).
    virtual int32_t sendCommand(const CommandHeader &header, uint8_t *data, uint8_t *sw1, uint8_t *sw2,
                                int32_t *replyLength, uint32_t timeoutMs) = 0;
    // Resets the reader and reads its identification answer into data.
    virtual int32_t resetReader(int32_t *answerLength, uint8_t *data) = 0;
};

// The reader behind a port opened with QXOPEN.
class DriverLink final : public ReaderLink {
public:
    explicit DriverLink(int32_t portHandle) : portHandle_(portHandle) {}
    int32_t sendCommand(const CommandHeader &header, uint8_t *data, uint8_t *sw1, uint8_t *sw2, int32_t *replyLength,
                        uint32_t timeoutMs) override;
    int32_t resetReader(int32_t *answerLength, uint8_t *data) override;
    int32_t portHandle() const { return portHandle_; }

private:
    int32_t portHandle_;
};

}  // namespace kvr::session

#endif
