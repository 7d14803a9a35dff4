/*
 * A program as the readers' owners have them: it loads "KVR7x.dll" with
 * LoadLibraryA, binds all 18 exports by name with GetProcAddress, and talks
 * to the reader on the port named by its argument ("COM2" mapped to a
 * network reader, "rfc2217://HOST:PORT").
 *
 * Usage: load_by_name.exe PORT
 * Exit status 0 when every step gave what a reader behind PORT gives.
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

typedef int32_t(__stdcall *Fn1)(int32_t);
typedef int32_t(__stdcall *Fn2)(int32_t, uint32_t);
typedef int32_t(__stdcall *FnLibMain)(uintptr_t, uint32_t, uint32_t, uint32_t);
typedef int32_t(__stdcall *FnOpen)(const char *);
typedef int32_t(__stdcall *FnReset)(int32_t, int32_t *, uint8_t *);
typedef int32_t(__stdcall *FnPowerOn)(int32_t, uint32_t, uint32_t, int32_t *, uint8_t *, uint8_t *, uint8_t *);
typedef int32_t(__stdcall *FnIso)(int32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint8_t *,
                                  uint8_t *, uint8_t *, uint32_t);
typedef int32_t(__stdcall *FnSend)(int32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint8_t *,
                                   uint8_t *, uint8_t *, int32_t *, uint32_t);
typedef int32_t(__stdcall *FnParam3)(uint32_t, uint32_t, uint32_t);
typedef int32_t(__stdcall *FnParam2)(uint32_t, uint32_t);
typedef int32_t(__stdcall *FnTimeout)(int32_t, uint32_t, uint32_t);
typedef uintptr_t(__stdcall *FnNotify)(int32_t, HWND, uint32_t);

static int failures = 0;

static void check(int ok, const char *what, long value) {
    printf("%s %s (%ld)\n", ok ? "ok     " : "FAILED ", what, value);
    if (!ok) ++failures;
}

static FARPROC bindExport(HMODULE dll, const char *name) {
    FARPROC p = GetProcAddress(dll, name);
    check(p != NULL, name, 0);
    return p;
}

int main(int argc, char **argv) {
    static const char *const names[] = {
        "LibMain",    "QXSENDCOMMAND",  "QXICCSTATUS",     "QXINSERT", "QXREMOVE",    "QXISOIN",
        "QXISOOUT",   "QXPOWERON",      "QXPOWEROFF",      "QXRESET",  "QXIFDSTATUS", "QXSETPARAM",
        "QXGETPARAM", "QXCARDINSERTED", "QXREADERPOWERED", "QXOPEN",   "QXCLOSE",     "QXNOTIFY"};
    FARPROC fn[18];
    HMODULE dll;
    int i;
    int32_t port, r, len = -1;
    uint8_t data[256], sw1 = 0, sw2 = 0;
    static const uint8_t selectMf[] = {0x3F, 0x00};

    if (argc < 2) {
        fprintf(stderr, "usage: load_by_name PORT\n");
        return 2;
    }
    dll = LoadLibraryA("KVR7x.dll");
    check(dll != NULL, "LoadLibraryA(\"KVR7x.dll\")", (long)GetLastError());
    if (!dll) return 1;
    for (i = 0; i < 18; ++i) fn[i] = bindExport(dll, names[i]);
    if (failures) return 1;

    check(((FnLibMain)(void *)fn[0])((uintptr_t)dll, 1, 0, 0) == 1, "LibMain returns 1", 1);
    check(((FnParam3)(void *)fn[11])(1, 2, 3) == 0, "QXSETPARAM returns 0", 0);
    check(((FnParam2)(void *)fn[12])(1, 2) == 0, "QXGETPARAM returns 0", 0);
    check(((FnOpen)(void *)fn[15])("no such port") == -1, "QXOPEN of no port gives -1", -1);

    port = ((FnOpen)(void *)fn[15])(argv[1]);
    check(port >= 0, argv[1], port);
    if (port < 0) return 1;

    r = ((FnReset)(void *)fn[9])(port, &len, data);
    check(r == 0 && len >= 4 && memcmp(data, "VEXA", 4) == 0, "QXRESET reads the identification", r);
    r = ((Fn2)(void *)fn[2])(port, 0);
    check(r == 0, "QXICCSTATUS: STAT 00", r);
    check(((Fn2)(void *)fn[13])(port, 0) == 1, "QXCARDINSERTED: a card in unit 0", 1);
    check(((Fn1)(void *)fn[14])(port) == 1, "QXREADERPOWERED: powered", 1);
    check((((Fn1)(void *)fn[10])(port)&0xA0) == 0xA0, "QXIFDSTATUS: DSR and carrier", 0xA0);
    len = 0;
    r = ((FnPowerOn)(void *)fn[7])(port, 0, 2, &len, data, &sw1, &sw2);
    check(r == 0 && len > 0 && data[0] == 0x3B, "QXPOWERON answers the ATR", len);
    memcpy(data, selectMf, sizeof selectMf);
    r = ((FnIso)(void *)fn[5])(port, 0, 0x00, 0xA4, 0x00, 0x0C, 2, data, &sw1, &sw2, 1000);
    check(r == 0 && sw1 == 0x90 && sw2 == 0x00, "QXISOIN selects the MF: 90 00", (long)(sw1 << 8 | sw2));
    r = ((FnSend)(void *)fn[1])(port, 0x21, 0x00, 0x12, 0x00, 0x00, 0x04, data, &sw1, &sw2, &len, 1000);
    check(r == 0 && sw1 == 0x6D, "QXSENDCOMMAND: an instruction the card does not know", sw1);
    check(((FnTimeout)(void *)fn[3])(port, 1, 1000) >= 0, "QXINSERT answers", 0);
    check(((FnTimeout)(void *)fn[4])(port, 1, 1000) >= 0, "QXREMOVE answers", 0);
    r = ((FnIso)(void *)fn[6])(port, 0, 0x00, 0x84, 0x00, 0x00, 8, data, &sw1, &sw2, 1000);
    check(r == 0 && sw1 == 0x90, "QXISOOUT reads a challenge", sw1);
    check(((Fn2)(void *)fn[8])(port, 0) == 0, "QXPOWEROFF: STAT 00", 0);
    check(((FnNotify)(void *)fn[17])(port, NULL, 0) == 0, "QXNOTIFY without a window returns 0", 0);
    check(((Fn1)(void *)fn[16])(port) != 0, "QXCLOSE succeeds", 0);
    check(((Fn1)(void *)fn[16])(port) == 0, "QXCLOSE of a closed port fails", 0);
    FreeLibrary(dll);
    printf("%s\n", failures ? "FAILED" : "all passed");
    return failures ? 1 : 0;
}
