// What the manager needs of its reader when it starts, as a program of its
// own for the demo's test: opens a port name (default COM1) through the
// driver's port map and sends the status request.  Exit status 0 when the
// reader answers, 1 when it does not.
#include <kvr7x.h>

#include <cstdio>

int main(int argc, char **argv) {
    const char *port = argc > 1 ? argv[1] : "COM1";
    const int32_t handle = QXOPEN(port);
    if (handle < 0) {
        std::printf("reader check: %s does not open\n", port);
        return 1;
    }
    const int32_t stat = QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 2000);
    QXCLOSE(handle);
    if (stat < 0) {
        std::printf("reader check: the reader on %s does not answer (%08X)\n", port, static_cast<unsigned>(stat));
        return 1;
    }
    std::printf("reader check: the reader on %s answers with STAT %02X\n", port, static_cast<unsigned>(stat));
    return 0;
}
