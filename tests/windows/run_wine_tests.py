#!/usr/bin/python3
"""Runs the 64-bit Windows tests of KVR7x.dll under Wine, against real
parts: kvr7x-emu on loopback (RFC 2217, each on a port of its own choice),
a COM port that is a pseudo-terminal with a scripted reader on its other
end, and a per-user ports map that sends a COM name to the emulator.

Usage: run_wine_tests.py BUILD_WIN64 KVR7X_EMU

One fresh Wine prefix in a temporary folder, booted once; every process
started here (emulators, wineserver) is stopped on every way out, and every
step has a time limit.  Prints the time of each step; exit status 0 when
every test passed.
"""
import os
import pty
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import tty

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
BOOT_LIMIT = 120
TEST_LIMIT = 120
# The keyed-file engine's cases kill writers and wait out time-outs: about
# 100 s under Wine on a busy machine.
LIMITS = {"kvr_wine_keyed_file_tests.exe": 300}


def log(text):
    print("run_wine_tests: " + text, flush=True)


class Emulator:
    """kvr7x-emu on 127.0.0.1, port chosen by the emulator."""

    def __init__(self, program, *options):
        self.proc = subprocess.Popen(
            [program, "--listen", "127.0.0.1:0", *options], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, text=True, bufsize=1)
        ready, _, _ = select.select([self.proc.stdout], [], [], 10)
        line = self.proc.stdout.readline() if ready else ""
        prefix = "kvr7x-emu: serving "
        if not line.startswith(prefix):
            self.stop()
            raise RuntimeError("kvr7x-emu did not start: %r" % line)
        self.url = line[len(prefix):].strip()
        self.lock = threading.Lock()

    def control(self, command):
        """One control command; its answer line."""
        with self.lock:
            self.proc.stdin.write(command + "\n")
            self.proc.stdin.flush()
            ready, _, _ = select.select([self.proc.stdout], [], [], 5)
            return self.proc.stdout.readline().strip() if ready else "error: no answer"

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class ControlRelay:
    """A loopback TCP port through which a Windows test sends an emulator's
    control commands ("card out"), one line each, and reads the answers."""

    def __init__(self, emulator):
        self.emulator = emulator
        self.server = socket.create_server(("127.0.0.1", 0))
        self.address = "127.0.0.1:%d" % self.server.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                conn, _ = self.server.accept()
            except OSError:
                return
            threading.Thread(target=self.session, args=(conn,), daemon=True).start()

    def session(self, conn):
        with conn, conn.makefile("rw", newline="\n") as f:
            for line in f:
                f.write(self.emulator.control(line.strip()) + "\n")
                f.flush()

    def stop(self):
        self.server.close()


class PtyReader:
    """A reader on the far end of a pseudo-terminal that answers every
    command header (6 bytes, and the data block when bit 7 of CODE is set)
    with STAT 00, SW1 SW2 90 00 and two data bytes: the header's INS and
    P1; a command with INS EE it leaves unanswered.  A pseudo-terminal has
    no RTS, so it never sees a reset."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.master)
        tty.setraw(self.slave)
        self.path = os.ttyname(self.slave)
        self.running = True
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        pending = b""
        while self.running:
            ready, _, _ = select.select([self.master], [], [], 0.2)
            if not ready:
                continue
            try:
                pending += os.read(self.master, 512)
            except OSError:
                return
            while len(pending) >= 6:
                code, ins, p1, p3 = pending[0], pending[2], pending[3], pending[5]
                need = 6 + ((p3 or 256) if code & 0x80 else 0)
                if len(pending) < need:
                    break
                pending = pending[need:]
                if ins != 0xEE:
                    os.write(self.master, bytes([0x00, 0x90, 0x00, 0x02, ins, p1]))

    def stop(self):
        self.running = False
        os.close(self.master)
        os.close(self.slave)


def main():
    build, emu_program = sys.argv[1], sys.argv[2]
    # Stopped from outside: clean up as on any other way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    tests = os.path.join(build, "tests", "windows")
    work = tempfile.mkdtemp(prefix="kvr7x-wine-")
    prefix = os.path.join(work, "prefix")
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env.update({
        "WINEPREFIX": prefix,
        "WINEDEBUG": "-all",
        # No Mono or Gecko download prompts: none of it is needed.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "WINEARCH": "win64",
    })
    started = []
    failures = []
    try:
        t = time.monotonic()
        subprocess.run([WINE, "wineboot", "-i"], env=env, check=True, timeout=BOOT_LIMIT,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        log("wineboot: %.1f s" % (time.monotonic() - t))

        reader = Emulator(emu_program, "--control")
        started.append(reader)
        basic = Emulator(emu_program, "--basic")
        started.append(basic)
        relay = ControlRelay(reader)
        started.append(relay)
        line = PtyReader()
        started.append(line)

        # COM1 is the pseudo-terminal; the ports map sends COM2 to the
        # emulator and COM3 to COM1.
        com1 = os.path.join(prefix, "dosdevices", "com1")
        if os.path.lexists(com1):
            os.remove(com1)
        os.symlink(line.path, com1)
        users = os.path.join(prefix, "drive_c", "users")
        user = next(u for u in os.listdir(users) if u != "Public")
        ports = os.path.join(users, user, "AppData", "Roaming", "kvr7x")
        os.makedirs(ports, exist_ok=True)
        with open(os.path.join(ports, "ports"), "w") as f:
            f.write("# written by run_wine_tests.py\r\nCOM2=%s\r\nCOM3=COM1\r\n" % reader.url)

        env.update({
            "KVR_EMU_URL": reader.url,
            "KVR_EMU_BASIC_URL": basic.url,
            "KVR_EMU_CONTROL": relay.address,
            "KVR_PTY_PORT": "COM1",
            "KVR_PTY_MAPPED_PORT": "COM3",
            "KVR_MAPPED_PORT": "COM2",
        })
        runs = [
            ("load_by_name.exe COM2 (mapped to rfc2217://)", ["load_by_name.exe", "COM2"]),
            ("load_by_name.exe rfc2217://", ["load_by_name.exe", reader.url]),
            ("kvr7x_wine_dll_tests.exe", ["kvr7x_wine_dll_tests.exe"]),
            ("kvr7x_wine_core_tests.exe", ["kvr7x_wine_core_tests.exe"]),
        ]
        # The Qt-free layers' tests, when built (scripts/build-windows
        # --with-tests): the decoders', the session's, and the keyed-file
        # engine's on SQLite with a second Wine process on the same files.
        for program in ("kvr_wine_decode_tests.exe", "kvr_wine_session_tests.exe",
                        "kvr_wine_keyed_file_tests.exe"):
            if os.path.exists(os.path.join(tests, program)):
                runs.append((program, [program]))
        for name, argv in runs:
            reader.control("card in")
            reader.control("power on")
            reader.control("silent off")
            t = time.monotonic()
            try:
                result = subprocess.run([WINE, *argv], cwd=tests, env=env,
                                        timeout=LIMITS.get(argv[0], TEST_LIMIT))
                ok = result.returncode == 0
            except subprocess.TimeoutExpired:
                ok = False
                log("%s: over %d s, stopped" % (name, LIMITS.get(argv[0], TEST_LIMIT)))
            log("%s: %s, %.1f s" % (name, "passed" if ok else "FAILED", time.monotonic() - t))
            if not ok:
                failures.append(name)

        # A map too large to be read is ignored, and the driver says why on
        # stderr, once however often the map is looked at.
        with open(os.path.join(ports, "ports"), "w") as f:
            f.write("#" * (64 * 1024) + "\r\nCOM2=%s\r\n" % reader.url)
        name = "an ignored ports map says why, once"
        try:
            result = subprocess.run([WINE, "load_by_name.exe", "COM2"], cwd=tests, env=env,
                                    timeout=TEST_LIMIT, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE)
            said = result.stderr.decode("latin-1").count("is larger than 64 KiB: ignored")
            ok = said == 1
            if not ok:
                log("%s: said %d times: %r" % (name, said, result.stderr[-400:]))
        except subprocess.TimeoutExpired:
            ok = False
            log("%s: over %d s, stopped" % (name, TEST_LIMIT))
        log("%s: %s" % (name, "passed" if ok else "FAILED"))
        if not ok:
            failures.append(name)
    finally:
        for part in reversed(started):
            part.stop()
        subprocess.run([WINESERVER, "-k"], env=env, timeout=30, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        log("failed: " + ", ".join(failures))
        return 1
    log("all passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
