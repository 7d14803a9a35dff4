#!/usr/bin/python3
"""Runs the tests of the Win32 window runtime under Wine, in a virtual X
server of their own.

Usage: run_wine_gui_tests.py BUILD_WIN64 [SCREENSHOT.png]

Xvfb on a display it picks itself (-displayfd), no window manager; one
fresh Wine prefix in a temporary folder, booted once; Xvfb and wineserver
are stopped on every way out, and every step has a time limit.  With
SCREENSHOT, the sample window's picture is kept there as a PNG.  Prints
the time of each step; exit status 0 when every test passed.
"""
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
BOOT_LIMIT = 120
TEST_LIMIT = 150
PROGRAM = "kvr_wine_runtime_win32_tests.exe"


def log(text):
    print("run_wine_gui_tests: " + text, flush=True)


def start_xvfb():
    """Xvfb on a free display; the process and the display's name."""
    read, write = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
         "-noreset"], pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    deadline = time.monotonic() + 20
    with os.fdopen(read, "rb") as pipe:
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip().isdigit():
        stop(proc)
        raise RuntimeError("Xvfb did not start")
    return proc, ":" + number.strip().decode()


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def bmp_to_png(bmp_path, png_path):
    """A 24-bit bottom-up BMP as an RGB PNG."""
    with open(bmp_path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    with open(png_path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(b"".join(rows), 6)))
        f.write(chunk(b"IEND", b""))


def main():
    build = sys.argv[1]
    screenshot = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    tests = os.path.join(build, "tests", "app", "runtime", "win32")
    work = tempfile.mkdtemp(prefix="kvr-wine-gui-")
    env = dict(os.environ)
    env.pop("WAYLAND_DISPLAY", None)
    env.update({
        "WINEPREFIX": os.path.join(work, "prefix"),
        "WINEDEBUG": "-all",
        # No sound card: the boxes' beeps would wait for one.
        "WINEDLLOVERRIDES": "mscoree,mshtml,winealsa.drv,winepulse.drv,wineoss.drv=",
        "WINEARCH": "win64",
    })
    xvfb = None
    ok = False
    try:
        xvfb, env["DISPLAY"] = start_xvfb()
        t = time.monotonic()
        subprocess.run([WINE, "wineboot", "-i"], env=env, check=True, timeout=BOOT_LIMIT,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # No window manager: windows Wine leaves unmanaged go at once, where
        # managed ones wait for a window manager to withdraw them.
        subprocess.run([WINE, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed",
                        "/d", "N", "/f"], env=env, check=True, timeout=BOOT_LIMIT,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        log("wineboot: %.1f s" % (time.monotonic() - t))
        bmp = os.path.join(work, "sample.bmp")
        if screenshot:
            env["KVR_SCREENSHOT"] = "Z:" + bmp.replace("/", "\\")
        t = time.monotonic()
        try:
            result = subprocess.run([WINE, PROGRAM, *sys.argv[3:]], cwd=tests, env=env,
                                    timeout=TEST_LIMIT)
            ok = result.returncode == 0
        except subprocess.TimeoutExpired:
            log("%s: over %d s, stopped" % (PROGRAM, TEST_LIMIT))
        log("%s: %s, %.1f s" % (PROGRAM, "passed" if ok else "FAILED", time.monotonic() - t))
        if screenshot and os.path.exists(bmp):
            bmp_to_png(bmp, screenshot)
            log("the sample window: " + screenshot)
    finally:
        subprocess.run([WINESERVER, "-k"], env=env, timeout=30, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if xvfb:
            stop(xvfb)
        shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
