#!/usr/bin/python3
"""Reads a built KVR7x.dll and checks what programs see of it without
running it: the 18 exports by name and ordinal, on i686 the `ret N` with
which each export removes its stack bytes (__stdcall), the version
resource, and that it imports from Windows' own DLLs only.

Usage: check_dll.py DLL i686|x86_64 [--objdump OBJDUMP] [--program EXE]
OBJDUMP (the MinGW objdump of that architecture) disassembles the exports'
code for the `ret N` check on i686.  EXE is a program linked with the
import library (import_check.c): it must import the 18 names from
KVR7x.dll.  Exit status 0 when every check passes, 1 otherwise; each failed
check is printed.
"""
import argparse
import re
import subprocess
import sys

import pefile

# Ordinal, name, stack bytes of the arguments.
EXPORTS = [
    (1, "LibMain", 16),
    (2, "QXSENDCOMMAND", 48),
    (3, "QXICCSTATUS", 8),
    (4, "QXINSERT", 12),
    (5, "QXREMOVE", 12),
    (6, "QXISOIN", 44),
    (7, "QXISOOUT", 44),
    (8, "QXPOWERON", 28),
    (9, "QXPOWEROFF", 8),
    (10, "QXRESET", 12),
    (11, "QXIFDSTATUS", 4),
    (12, "QXSETPARAM", 12),
    (13, "QXGETPARAM", 8),
    (14, "QXCARDINSERTED", 8),
    (15, "QXREADERPOWERED", 4),
    (16, "QXOPEN", 4),
    (17, "QXCLOSE", 4),
    (18, "QXNOTIFY", 12),
]

VERSION_STRINGS = {
    "FileVersion": "2, 0, 0, 4",
    "ProductVersion": "2, 0, 0, 4",
    "FileDescription": "KVR7x 32-Bit Library ",
    "InternalName": "KVR7x",
    "ProductName": "32-Bit Library for KVR7x Family of Smart Card Readers",
}

# Windows' own DLLs; the C runtime may be the old (msvcrt) or the universal
# one (ucrtbase, api-ms-win-crt-*).
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "ws2_32.dll", "advapi32.dll", "msvcrt.dll",
               "ucrtbase.dll"}

MACHINES = {"i686": 0x14C, "x86_64": 0x8664}

failures = []


def check(ok, what):
    print(("ok      " if ok else "FAILED  ") + what)
    if not ok:
        failures.append(what)


def first_ret(objdump, dll, address):
    """The first return instruction at or after `address`, as objdump
    writes it ("ret    $0x10", "ret"), or None."""
    out = subprocess.run(
        [objdump, "-d", "--no-show-raw-insn", "--start-address=0x%x" % address,
         "--stop-address=0x%x" % (address + 0x2000), dll],
        check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        m = re.match(r"\s*[0-9a-f]+:\s+(ret[lw]?\b.*)$", line)
        if m:
            return m.group(1).strip()
    return None


def check_program(program):
    """The program imports the 18 names, undecorated, from KVR7x.dll."""
    pe = pefile.PE(program)
    names = set()
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        if entry.dll.decode().lower() == "kvr7x.dll":
            names.update((i.name or b"").decode() for i in entry.imports)
    for _, name, _ in EXPORTS:
        check(name in names, "%s imports %s from KVR7x.dll" % (program, name))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("dll")
    parser.add_argument("arch", choices=sorted(MACHINES))
    parser.add_argument("--objdump")
    parser.add_argument("--program")
    args = parser.parse_args()
    dll, arch, objdump = args.dll, args.arch, args.objdump
    if args.program:
        check_program(args.program)
    pe = pefile.PE(dll)
    check(pe.FILE_HEADER.Machine == MACHINES[arch],
          "%s: machine 0x%x is %s" % (dll, pe.FILE_HEADER.Machine, arch))

    # Exports: exactly the table, by name and ordinal.
    exports = pe.DIRECTORY_ENTRY_EXPORT
    check(exports.name == b"KVR7x.dll", "export directory names KVR7x.dll (%r)" % exports.name)
    found = {(s.ordinal, (s.name or b"").decode()): s for s in exports.symbols}
    check(len(found) == len(EXPORTS), "18 exports (%d)" % len(found))
    base = pe.OPTIONAL_HEADER.ImageBase
    for ordinal, name, stack in EXPORTS:
        sym = found.get((ordinal, name))
        check(sym is not None, "export %s has ordinal %d" % (name, ordinal))
        if sym is None or arch != "i686" or objdump is None:
            continue
        ret = first_ret(objdump, dll, base + sym.address)
        want = "ret    $0x%x" % stack
        check(ret is not None and ret.split() == want.split(),
              "%s returns with %s (%s)" % (name, want.replace("    ", " "), ret))

    # Version resource, word for word.
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    for key, value in VERSION_STRINGS.items():
        check(strings.get(key) == value, "version %s is %r (%r)" % (key, value, strings.get(key)))
    fixed = pe.VS_FIXEDFILEINFO[0]
    check((fixed.FileVersionMS, fixed.FileVersionLS) == (0x20000, 0x4), "fixed file version 2.0.0.4")
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x20000, 0x4),
          "fixed product version 2.0.0.4")

    # Imports: Windows' own DLLs only (no libstdc++, libgcc or winpthread).
    imported = sorted(i.dll.decode() for i in pe.DIRECTORY_ENTRY_IMPORT)
    for name in imported:
        lower = name.lower()
        check(lower in SYSTEM_DLLS or lower.startswith("api-ms-win-"),
              "imports only from Windows' own DLLs: %s" % name)

    if failures:
        print("%d check(s) failed for %s" % (len(failures), dll))
        return 1
    print("all checks passed for %s" % dll)
    return 0


if __name__ == "__main__":
    sys.exit(main())
