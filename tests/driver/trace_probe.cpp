// A program of the kind that loads the library: opens the port named on
// its command line (which resets the reader), asks for the card's status,
// sends one ISO command with a data block and prints what each call gave,
// one line per call: "RESULT SW1 SW2 LEN", in hexadecimal.
#include <cstdio>

#include "kvr7x.h"

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    const int32_t port = QXOPEN(argv[1]);
    if (port < 0) return 1;
    uint8_t data[256] = {0x3F, 0x00};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = 0;
    int32_t r = QXSENDCOMMAND(port, 0x20, 0, 0x10, 0, 0, 0, data, &sw1, &sw2, &len, 1000);
    std::printf("%08X %02X %02X %02X\n", static_cast<unsigned>(r), sw1, sw2,
                static_cast<unsigned>(len));
    len = 0;
    r = QXSENDCOMMAND(port, 0xA1, 0x00, 0xA4, 0x00, 0x00, 0x02, data, &sw1, &sw2, &len, 1000);
    std::printf("%08X %02X %02X %02X\n", static_cast<unsigned>(r), sw1, sw2,
                static_cast<unsigned>(len));
    QXCLOSE(port);
    return 0;
}
