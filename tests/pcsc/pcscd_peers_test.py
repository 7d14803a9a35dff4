#!/usr/bin/python3
"""The PC/SC reader driver with its real peers.

Starts kvr7x-emu and a pcscd of its own in the foreground with a reader.conf
that names libifdkvr7x and the emulator's URL, then drives the reader with
the common tools: opensc-tool, scriptor and pyscard.

Debian's pcscd always serves /run/pcscd/pcscd.comm, so the test runs in
private mount, PID and network namespaces: a tmpfs over /run/pcscd (over
/run when that folder does not exist) holds this pcscd's socket, the
system's pcscd is never touched; the emulator serves on a loopback of the
test's own, where nothing else can take its port while it is away; and every
process started here ends with the namespace when the test ends, whichever
way it ends.  Each process is also stopped by the test itself.

Usage: pcscd_peers_test.py --emulator PROGRAM --handler LIBRARY [--preload LIB]
Exit code 77 (skipped) when a tool is missing or namespaces are not allowed.
"""
import argparse
import fcntl
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import private_namespaces
from private_namespaces import stop_process

SKIPPED = 77
READER = "KVR7x test reader"
# The emulator card's DF 7F10 is named F0 "KVR7X.DEMO"; its EF 6F01 holds
# 300 bytes counting up from 00.
DF_NAME = bytes([0xF0]) + b"KVR7X.DEMO"
TOOLS = ["pcscd", "opensc-tool", "scriptor", "unshare", "mount"]

ARGS = None


def hex_of(data, sep=" "):
    return sep.join("%02X" % b for b in data)


def wait_until(condition, timeout, step=0.1):
    """Calls condition until it gives a true value or timeout seconds pass;
    returns the last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def run(args, timeout=30):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=timeout)



class Emulator:
    """kvr7x-emu with control commands on its standard input."""

    def __init__(self, listen="127.0.0.1:0"):
        self.proc = subprocess.Popen([ARGS.emulator, "--listen", listen, "--control"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)
        self.pending = b""
        line = self.read_line(10)
        if "serving rfc2217://" not in line:
            stop_process(self.proc)
            raise RuntimeError("kvr7x-emu did not start: %r" % line)
        self.url = line[line.index("rfc2217://"):].strip()
        self.port = int(self.url.rsplit(":", 1)[1])

    def read_line(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                return ""
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            if not chunk:
                return ""
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode()

    def command(self, text):
        self.proc.stdin.write((text + "\n").encode())
        answer = self.read_line(10)
        if not answer.startswith("ok: "):
            raise RuntimeError("kvr7x-emu answered %r to %r" % (answer, text))
        return answer[4:]

    def atr(self):
        return bytes.fromhex(self.command("status").rsplit("atr ", 1)[1])

    def stop(self):
        stop_process(self.proc)
        self.proc.stdin.close()
        self.proc.stdout.close()


class Pcscd:
    """A pcscd in the foreground with a reader.conf file of its own."""

    def __init__(self, folder, device_name, environment=None):
        self.conf = os.path.join(folder, "reader.conf")
        with open(self.conf, "w") as f:
            f.write('FRIENDLYNAME "%s"\nDEVICENAME %s\nLIBPATH %s\nCHANNELID 0\n'
                    % (READER, device_name, ARGS.handler))
        self.log_path = os.path.join(folder, "pcscd.log")
        env = dict(os.environ)
        env.update(environment or {})
        if ARGS.preload:
            # The handler is built with the sanitizers; pcscd is not.
            env["LD_PRELOAD"] = ARGS.preload
            env["ASAN_OPTIONS"] = "detect_leaks=0:abort_on_error=1"
        with open(self.log_path, "wb") as log:
            self.proc = subprocess.Popen(["pcscd", "--foreground", "--info", "-c", self.conf],
                                         stdout=log, stderr=subprocess.STDOUT, env=env)

    def log(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def stop(self):
        stop_process(self.proc)


def reader_name():
    """The reader's full PC/SC name as opensc-tool lists it, or ""."""
    out = run(["opensc-tool", "--list-readers"]).stdout
    line = next((line for line in out.splitlines() if READER in line), "")
    return line[line.index(READER):].strip() if line else ""


def opensc_apdus(*apdus):
    """Sends APDUs (hex text) in one card session; returns the list of
    (SW1 SW2, data) answers opensc-tool printed."""
    args = ["opensc-tool", "--reader", "0"]
    for apdu in apdus:
        args += ["--send-apdu", apdu]
    out = run(args).stdout
    answers = []
    for line in out.splitlines():
        if line.startswith("Received (SW1=0x"):
            sw = line[len("Received (SW1=0x"):][:2] + line.split("SW2=0x", 1)[1][:2]
            answers.append([sw.upper(), b""])
        elif answers:
            # A dump line: up to 16 hex bytes, then the same bytes as text
            # (the data sent here never reads as hex in that column).
            for token in line.split()[:16]:
                if len(token) != 2 or any(c not in "0123456789ABCDEF" for c in token):
                    break
                answers[-1][1] += bytes.fromhex(token)
    return [(sw, data) for sw, data in answers], out


class PcscPeersTest(unittest.TestCase):
    """One pcscd and one emulator for the whole class; the cases run in order
    and each leaves the card inserted."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="kvr7x-pcsc-")
        cls.emulator = Emulator()
        cls.pcscd = Pcscd(cls.folder, cls.emulator.url)
        cls.reader = wait_until(lambda: cls.pcscd.proc.poll() is not None or reader_name(), 30, 0.3)
        if not cls.reader or cls.pcscd.proc.poll() is not None:
            log = cls.pcscd.log()
            cls.tearDownClass()
            raise RuntimeError("pcscd did not list the reader; its log:\n" + log[-4000:])

    @classmethod
    def tearDownClass(cls):
        cls.pcscd.stop()
        cls.emulator.stop()
        log = cls.pcscd.log()
        shutil.rmtree(cls.folder, ignore_errors=True)
        if "AddressSanitizer" in log or "runtime error" in log:
            raise AssertionError("the handler failed inside pcscd:\n" + log[-6000:])

    def tearDown(self):
        self.assertIsNone(self.pcscd.proc.poll(), "pcscd ended:\n" + self.pcscd.log()[-4000:])

    def atr_by_opensc(self):
        out = run(["opensc-tool", "--reader", "0", "--atr"]).stdout
        lines = [l for l in out.splitlines() if l.count(":") >= 2 and "reader" not in l.lower()]
        return bytes.fromhex(lines[-1].replace(":", "")) if lines else None

    def test_a_opensc_lists_the_reader_and_reads_the_atr(self):
        self.assertIn(READER, reader_name())
        self.assertEqual(self.atr_by_opensc(), self.emulator.atr())

    def test_b_opensc_sends_apdus_of_cases_3_2_and_4(self):
        answers, out = opensc_apdus(
            "00:A4:08:0C:04:7F:10:6F:01",                       # case 3: SELECT by path
            "00:B0:00:10:08",                                   # case 2: READ BINARY 8 at 16
            "00:A4:04:00:%02X:%s:00" % (len(DF_NAME), hex_of(DF_NAME, ":")))  # case 4: by name
        self.assertEqual(len(answers), 3, out)
        self.assertEqual(answers[0], ("9000", b""), out)
        self.assertEqual(answers[1], ("9000", bytes(range(16, 24))), out)
        sw, fci = answers[2]
        self.assertEqual(sw, "9000", out)
        self.assertEqual(fci[0], 0x6F, out)  # FCI template
        self.assertIn(bytes([0x84, len(DF_NAME)]) + DF_NAME, fci, out)

    def test_c_scriptor_runs_a_script(self):
        script = os.path.join(self.folder, "script")
        with open(script, "w") as f:
            f.write("# select the DF by name, its EF by path, read 4 bytes at 256\n"
                    "00 A4 04 0C %02X %s\n" % (len(DF_NAME), hex_of(DF_NAME)) +
                    "00 A4 09 0C 02 6F 01\n"
                    "00 B0 01 00 04\n"
                    "00 A4 00 0C 02 12 34\n")
        result = run(["scriptor", "-r", self.reader, script])
        replies = [l[2:].split(" : ")[0].strip() for l in result.stdout.splitlines() if l.startswith("< ")]
        self.assertEqual(replies, ["90 00", "90 00", "00 01 02 03 90 00", "6A 82"], result.stdout)

    def test_d_pyscard_sees_the_card_taken_out_and_put_back(self):
        from smartcard import scard
        from smartcard.System import readers

        rc, context = scard.SCardEstablishContext(scard.SCARD_SCOPE_USER)
        self.assertEqual(rc, scard.SCARD_S_SUCCESS)
        try:
            name = next(r for r in scard.SCardListReaders(context, [])[1] if r.startswith(READER))
            states = [(name, scard.SCARD_STATE_UNAWARE)]

            def wait_for(flag):
                nonlocal states
                deadline = time.monotonic() + 20
                while time.monotonic() < deadline:
                    rc, new = scard.SCardGetStatusChange(context, 500, states)
                    if rc == scard.SCARD_S_SUCCESS:
                        states = [(new[0][0], new[0][1] & ~scard.SCARD_STATE_CHANGED)]
                        if new[0][1] & flag:
                            return True
                return False

            self.assertTrue(wait_for(scard.SCARD_STATE_PRESENT))
            self.emulator.command("card out")
            self.assertTrue(wait_for(scard.SCARD_STATE_EMPTY), "removal not seen")
            self.emulator.command("card in")
            self.assertTrue(wait_for(scard.SCARD_STATE_PRESENT), "insertion not seen")
        finally:
            scard.SCardReleaseContext(context)

        # The card put back works: GET CHALLENGE for 8 bytes.
        reader = next(r for r in readers() if str(r).startswith(READER))
        connection = reader.createConnection()
        connection.connect()
        try:
            data, sw1, sw2 = connection.transmit([0x00, 0x84, 0x00, 0x00, 0x08])
            self.assertEqual((len(data), sw1, sw2), (8, 0x90, 0x00))
            self.assertEqual(bytes(connection.getATR()), self.emulator.atr())
        finally:
            connection.disconnect()

    def test_e_emulator_gone_then_back(self):
        port = self.emulator.port
        self.emulator.stop()
        # pcscd reports the reader's error, and serves on.
        reported = "Error communicating to: " + self.reader
        self.assertTrue(wait_until(lambda: reported in self.pcscd.log(), 20), self.pcscd.log()[-4000:])
        # The handler's message came through pcscd's own log, whose lines
        # begin with the time since its previous line.
        self.assertRegex(self.pcscd.log(), r"(?m)^\d{8} ifdkvr7x: .*: line to the reader lost")
        self.assertIsNone(self.atr_by_opensc())
        self.assertIsNone(self.pcscd.proc.poll())
        self.assertIn(READER, reader_name())

        # The emulator back on the same address: the reader works again.
        type(self).emulator = Emulator("127.0.0.1:%d" % port)
        self.assertTrue(wait_until(self.atr_by_opensc, 20, 0.3), self.pcscd.log()[-4000:])
        answers, out = opensc_apdus("00:A4:00:0C:02:3F:00")
        self.assertEqual(answers, [("9000", b"")], out)


class PcscdHostileTraceTest(unittest.TestCase):
    """KVR7X_TRACE naming a target that cannot take the trace: pcscd lists
    the reader all the same, and its log holds the driver's one line that
    says why the trace is missing or short."""

    def test_a_trace_target_that_cannot_take_the_trace_holds_up_no_reader(self):
        folder = tempfile.mkdtemp(prefix="kvr7x-pcsc-trace-")
        fifo = os.path.join(folder, "fifo")
        emulator = Emulator()
        try:
            for what, target, said in [
                    ("a FIFO without a reader", fifo, "no trace is written to %s: it is a FIFO that no program reads"),
                    ("a FIFO whose reader stopped reading", fifo,
                     "the trace to %s cannot take lines as fast as they come: some are left out"),
                    ("a folder", folder, "no trace is written to %s: it is a folder"),
                    ("a full device", "/dev/full", "the trace to %s stops: No space left on device")]:
                with self.subTest(what):
                    if os.path.lexists(fifo):
                        os.unlink(fifo)
                    reader = writer = None
                    if target == fifo:
                        os.mkfifo(fifo, 0o600)
                    if "stopped" in what:
                        # A reader that reads nothing, and a pipe already full.
                        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
                        writer = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
                        fcntl.fcntl(writer, 1031, 4096)  # F_SETPIPE_SZ
                        try:
                            while os.write(writer, b"." * 4096):
                                pass
                        except BlockingIOError:
                            pass
                    pcscd = Pcscd(folder, emulator.url, {"KVR7X_TRACE": target})
                    try:
                        began = time.monotonic()
                        listed = wait_until(lambda: pcscd.proc.poll() is not None or reader_name(), 30, 0.3)
                        self.assertTrue(listed and pcscd.proc.poll() is None,
                                        "pcscd did not list the reader:\n" + pcscd.log()[-4000:])
                        self.assertLess(time.monotonic() - began, 30)
                        line = "KVR7x: " + said % target
                        log = pcscd.log()
                        self.assertEqual(log.count(line), 1, log[-4000:])
                    finally:
                        pcscd.stop()
                        for fd in (reader, writer):
                            if fd is not None:
                                os.close(fd)
                    log = pcscd.log()
                    if "AddressSanitizer" in log or "runtime error" in log:
                        raise AssertionError("the handler failed inside pcscd:\n" + log[-6000:])
        finally:
            emulator.stop()
            shutil.rmtree(folder, ignore_errors=True)


def missing_prerequisites():
    missing = [t for t in TOOLS if not shutil.which(t)]
    try:
        import smartcard  # noqa: F401
    except ImportError:
        missing.append("pyscard (python3-pyscard for %s)" % sys.executable)
    return missing


def enter_namespaces(argv):
    """Runs this script again inside private mount, PID and network namespaces."""
    if subprocess.run(private_namespaces.unshare_command() + ["true"]).returncode != 0:
        print("pcscd_peers_test: SKIPPED: private namespaces are not allowed here")
        return SKIPPED
    return private_namespaces.run_inside(__file__, argv)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--emulator", required=True)
    parser.add_argument("--handler", required=True)
    parser.add_argument("--preload", default="")
    ARGS, rest = parser.parse_known_args()
    ARGS.emulator = os.path.abspath(ARGS.emulator)
    ARGS.handler = os.path.abspath(ARGS.handler)
    missing = missing_prerequisites()
    if missing:
        print("pcscd_peers_test: SKIPPED: missing " + ", ".join(missing))
        return SKIPPED
    if not private_namespaces.inside():
        return enter_namespaces(sys.argv[1:])
    # The first process of the PID namespace: a signal ends the test cleanly.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    private_namespaces.bring_loopback_up()
    target = "/run/pcscd" if os.path.isdir("/run/pcscd") else "/run"
    subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=0755", "tmpfs", target], check=True)
    os.makedirs("/run/pcscd", exist_ok=True)
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
