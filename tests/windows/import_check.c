/*
 * A program linked with KVR7x.dll's import library through kvr7x.h, as C,
 * the way Windows programs are built against the library.  It is only
 * linked, never run: check_dll.py reads which names it imports.
 */
#include "kvr7x.h"

int main(int argc, char **argv) {
    uint8_t data[256];
    uint8_t sw1, sw2;
    int32_t len;
    int32_t port;
    if (argc < 2) return 0;
    port = QXOPEN(argv[1]);
    LibMain(0, 0, 0, 0);
    QXSENDCOMMAND(port, 0x20, 0, 0x10, 0, 0, 0, data, &sw1, &sw2, &len, 1000);
    QXICCSTATUS(port, 0);
    QXINSERT(port, 0, 1000);
    QXREMOVE(port, 0, 1000);
    QXISOIN(port, 0, 0, 0xA4, 0, 0, 2, data, &sw1, &sw2, 1000);
    QXISOOUT(port, 0, 0, 0xB0, 0, 0, 2, data, &sw1, &sw2, 1000);
    QXPOWERON(port, 0, 2, &len, data, &sw1, &sw2);
    QXPOWEROFF(port, 0);
    QXRESET(port, &len, data);
    QXIFDSTATUS(port);
    QXSETPARAM(0, 0, 0);
    QXGETPARAM(0, 0);
    QXCARDINSERTED(port, 0);
    QXREADERPOWERED(port);
    QXNOTIFY(port, 0, 0);
    return QXCLOSE(port);
}
