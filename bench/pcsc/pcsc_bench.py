#!/usr/bin/python3
"""APDUs per second through pcscd: our handler beside the vpcd anchor.

One private pcscd serves two readers: libifdkvr7x on a kvr7x-emu (loopback,
unpaced) and vpcd (Debian's vsmartcard-vpcd) with kvr7x_bench_vpcd_responder
as its card, which answers at once.  pyscard sends GET CHALLENGE (case 2, 8
bytes) and SELECT of the MF (case 3, no answer data) to each reader,
ROUNDS rounds of SECONDS per reader and APDU, each round in five slices
alternating between the readers (which goes first alternates too); the
medians, their lowest-highest round and the ratio ours/vpcd are printed.  In
each round kvr7x_bench_pcsc_direct makes the same calls straight through the
driver on a second emulator (one client per emulator), which shows what
pcscd and the handler add to a driver call.

Then COUNT of each APDU on each reader give the TCP segments that pcscd's
end of the reader's connection sends and receives per APDU (ss -ti), and,
with pcscd under strace -c -f, pcscd's system calls per APDU (both readers
share pcscd's client side, so the difference is the handlers').

Like tests/pcsc/pcscd_peers_test.py it runs in private mount, PID and
network namespaces with a tmpfs over /run/pcscd, so the system's pcscd is
never touched and every process ends with the benchmark.

Usage: pcsc_bench.py --emulator PROG --handler LIB --responder PROG --direct PROG
                     [--preload LIB] [--seconds S] [--rounds N] [--count N]
"""
import argparse
import os
import re
import select
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

# The private pcscd is the PC/SC tests' own.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "pcsc"))
import private_namespaces  # noqa: E402
from private_namespaces import stop_process  # noqa: E402

OURS = "KVR7x bench reader"
ANCHOR = "Virtual PCD"
GET_CHALLENGE = [0x00, 0x84, 0x00, 0x00, 0x08]
SELECT_MF = [0x00, 0xA4, 0x00, 0x0C, 0x02, 0x3F, 0x00]
APDUS = [("GET CHALLENGE", GET_CHALLENGE), ("SELECT", SELECT_MF)]
TOOLS = ["pcscd", "unshare", "mount", "strace", "ss"]
VPCD = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so"

ARGS = None



def start_emulator():
    """kvr7x-emu on a free loopback port; returns (process, port)."""
    proc = subprocess.Popen([ARGS.emulator, "--listen", "127.0.0.1:0"], stdout=subprocess.PIPE)
    ready = select.select([proc.stdout], [], [], 10)[0]
    line = proc.stdout.readline().decode() if ready else ""
    if "serving rfc2217://" not in line:
        stop_process(proc)
        raise RuntimeError("kvr7x-emu did not start: %r" % line)
    return proc, int(line.strip().rsplit(":", 1)[1])


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def spread(values):
    return min(values), statistics.median(values), max(values)


def spread_text(values, fmt="%.0f"):
    low, median, high = spread(values)
    return (fmt + " (" + fmt + "-" + fmt + ")") % (median, low, high)


class Reader:
    """One reader held open by pyscard's low-level API."""

    def __init__(self, scard, context, name):
        self.scard = scard
        rc, self.card, protocol = scard.SCardConnect(context, name, scard.SCARD_SHARE_SHARED,
                                                     scard.SCARD_PROTOCOL_T0 | scard.SCARD_PROTOCOL_T1)
        if rc != scard.SCARD_S_SUCCESS:
            raise RuntimeError("cannot connect to %s: %s" % (name, scard.SCardGetErrorMessage(rc)))
        self.pci = scard.SCARD_PCI_T0 if protocol == scard.SCARD_PROTOCOL_T0 else scard.SCARD_PCI_T1

    def transmit(self, apdu):
        rc, response = self.scard.SCardTransmit(self.card, self.pci, apdu)
        if rc != self.scard.SCARD_S_SUCCESS or response[-2:] != [0x90, 0x00]:
            raise RuntimeError("APDU %s failed: rc %x, %s" % (apdu, rc, response))

    def close(self):
        self.scard.SCardDisconnect(self.card, self.scard.SCARD_LEAVE_CARD)

    def run(self, apdu, seconds):
        """(APDUs sent, seconds taken) for `apdu` sent for `seconds`."""
        count = 0
        t0 = time.monotonic()
        until = t0 + seconds
        while time.monotonic() < until:
            self.transmit(apdu)
            count += 1
        return count, time.monotonic() - t0


def paired_rates(first, second, apdu, seconds, slices=5):
    """APDUs per second of two readers measured in alternating slices, so
    that a burst of load on a shared machine falls on both alike."""
    totals = [[0, 0.0], [0, 0.0]]
    for _ in range(slices):
        for total, reader in zip(totals, (first, second)):
            count, took = reader.run(apdu, seconds / slices)
            total[0] += count
            total[1] += took
    return [count / took for count, took in totals]


def direct_rates(port):
    out = subprocess.run([ARGS.direct, "rfc2217://127.0.0.1:%d" % port, str(ARGS.seconds)],
                         stdout=subprocess.PIPE, text=True, timeout=60 + 4 * ARGS.seconds, check=True).stdout
    rates = dict(line.split() for line in out.splitlines())
    return {"GET CHALLENGE": float(rates["getchallenge"]), "SELECT": float(rates["select"])}


def segments(port, pcscd_side_is_client):
    """(segs_out, segs_in) of pcscd's end of the connection with `port`."""
    filt = "dport = :%d" % port if pcscd_side_is_client else "sport = :%d" % port
    out = subprocess.run(["ss", "-tinH", "state", "established", filt], stdout=subprocess.PIPE,
                         text=True, check=True).stdout
    seg_out = re.search(r"segs_out:(\d+)", out)
    seg_in = re.search(r"segs_in:(\d+)", out)
    return int(seg_out.group(1)) if seg_out else 0, int(seg_in.group(1)) if seg_in else 0


def syscalls(pid, reader, apdu, count):
    """pcscd's system calls (all threads) while `reader` runs `apdu` `count`
    times: {name: calls}."""
    path = os.path.join(tempfile.gettempdir(), "kvr7x-pcsc-bench-strace-%d" % os.getpid())
    tracer = subprocess.Popen(["strace", "-c", "-f", "-o", path, "-p", str(pid)],
                              stderr=subprocess.PIPE, text=True)
    time.sleep(1)  # strace attaches to every thread
    for _ in range(count):
        reader.transmit(apdu)
    tracer.send_signal(signal.SIGINT)
    err = tracer.communicate(timeout=30)[1]
    calls = {}
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 5 and fields[3].isdigit() and not fields[-1].startswith("total"):
                calls[fields[-1]] = int(fields[3])
    if not calls:
        with open(path) as f:
            raise RuntimeError("strace counted nothing:\n" + f.read() + err)
    os.unlink(path)
    return calls


def measure():
    from smartcard import scard

    folder = tempfile.mkdtemp(prefix="kvr7x-pcsc-bench-")
    processes = []
    readers = []
    try:
        emulator, emu_port = start_emulator()
        processes.append(emulator)
        direct_emulator, direct_port = start_emulator()
        processes.append(direct_emulator)
        vpcd_port = free_port()
        conf = os.path.join(folder, "reader.conf")
        with open(conf, "w") as f:
            f.write('FRIENDLYNAME "%s"\nDEVICENAME rfc2217://127.0.0.1:%d\nLIBPATH %s\nCHANNELID 0\n\n'
                    % (OURS, emu_port, ARGS.handler))
            # vpcd: DEVICENAME /dev/null:PORT listens on PORT.
            f.write('FRIENDLYNAME "%s"\nDEVICENAME /dev/null:%d\nLIBPATH %s\nCHANNELID %d\n'
                    % (ANCHOR, vpcd_port, VPCD, vpcd_port))
        env = dict(os.environ)
        if ARGS.preload:
            env["LD_PRELOAD"] = ARGS.preload
            env["ASAN_OPTIONS"] = "detect_leaks=0:abort_on_error=1"
        log_path = os.path.join(folder, "pcscd.log")
        with open(log_path, "wb") as log:
            pcscd = subprocess.Popen(["pcscd", "--foreground", "--info", "-c", conf], stdout=log,
                                     stderr=subprocess.STDOUT, env=env)
        processes.append(pcscd)
        responder = subprocess.Popen([ARGS.responder, str(vpcd_port)])
        processes.append(responder)

        context = None
        names = {}
        deadline = time.monotonic() + 30
        while len(names) < 2 and time.monotonic() < deadline:
            time.sleep(0.2)
            if context is None:  # pcscd may not be listening yet
                rc, context = scard.SCardEstablishContext(scard.SCARD_SCOPE_USER)
                if rc != scard.SCARD_S_SUCCESS:
                    context = None
                    continue
            rc, listed = scard.SCardListReaders(context, [])
            if rc == scard.SCARD_S_SUCCESS:
                names = {n: next(r for r in listed if r.startswith(n))
                         for n in (OURS, ANCHOR) if any(r.startswith(n) for r in listed)}
        if len(names) < 2:
            with open(log_path, errors="replace") as f:
                raise RuntimeError("pcscd did not list both readers:\n" + f.read()[-4000:])
        for name in (OURS, ANCHOR):
            deadline = time.monotonic() + 20
            while True:
                try:
                    readers.append(Reader(scard, context, names[name]))
                    break
                except RuntimeError:
                    if time.monotonic() > deadline:
                        raise
                    time.sleep(0.2)
        ours, anchor = readers
        for reader in readers:  # warm up
            for _, apdu in APDUS:
                reader.run(apdu, 0.2)

        print("APDUs per second from pyscard through one pcscd, %d rounds of %g s each;" % (ARGS.rounds, ARGS.seconds))
        print("median (lowest-highest round).  direct: the same calls through the driver alone.\n")
        rates = {(who, label): [] for who in ("ours", "anchor", "direct") for label, _ in APDUS}
        ratios = {label: [] for label, _ in APDUS}
        for r in range(ARGS.rounds):
            order = [("ours", ours), ("anchor", anchor)]
            if r % 2:
                order.reverse()
            this_round = {}
            for label, apdu in APDUS:
                for (who, _), rate in zip(order, paired_rates(order[0][1], order[1][1], apdu, ARGS.seconds)):
                    this_round[(who, label)] = rate
            for label, rate in direct_rates(direct_port).items():
                this_round[("direct", label)] = rate
            for key, value in this_round.items():
                rates[key].append(value)
            for label, _ in APDUS:
                ratios[label].append(this_round[("ours", label)] / this_round[("anchor", label)])

        print("%-14s %-22s %-22s %-20s %-22s %s" % ("APDU", "ours (libifdkvr7x)", "anchor (vpcd)", "ours/anchor",
                                                     "direct driver call", "handler+pcscd cost"))
        for label, _ in APDUS:
            ours_us = 1e6 / statistics.median(rates[("ours", label)])
            direct_us = 1e6 / statistics.median(rates[("direct", label)])
            print("%-14s %-22s %-22s %-20s %-22s %.0f us/APDU" % (
                label, spread_text(rates[("ours", label)]), spread_text(rates[("anchor", label)]),
                spread_text(ratios[label], "%.2f"), spread_text(rates[("direct", label)]), ours_us - direct_us))

        print("\nPer APDU, %d of each on each reader: the TCP segments of pcscd's end of the reader's\n"
              "connection (ss -ti) and pcscd's system calls (strace -c -f, all its threads).\n" % ARGS.count)
        rows = []
        for label, apdu in APDUS:
            for who, reader, port, client in (("ours", ours, emu_port, True), ("anchor", anchor, vpcd_port, False)):
                seg0 = segments(port, client)
                for _ in range(ARGS.count):
                    reader.transmit(apdu)
                seg1 = segments(port, client)
                calls = syscalls(pcscd.pid, reader, apdu, ARGS.count)
                rows.append(("%s, %s" % (label, who), {n: c / ARGS.count for n, c in calls.items()},
                             (seg1[0] - seg0[0]) / ARGS.count, (seg1[1] - seg0[1]) / ARGS.count))
        shown = sorted({n for _, calls, _, _ in rows for n in calls if calls[n] >= 0.1},
                       key=lambda n: -max(c.get(n, 0) for _, c, _, _ in rows))
        print("%-22s %7s %7s %8s  %s" % ("APDU, reader", "seg out", "seg in", "syscalls",
                                         "  ".join("%8s" % n for n in shown)))
        for what, calls, seg_out, seg_in in rows:
            print("%-22s %7.2f %7.2f %8.2f  %s" % (what, seg_out, seg_in, sum(calls.values()),
                                                   "  ".join("%8.2f" % calls.get(n, 0) for n in shown)))
        return 0
    finally:
        for reader in readers:
            reader.close()
        for proc in reversed(processes):
            stop_process(proc)
        shutil.rmtree(folder, ignore_errors=True)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ("--emulator", "--handler", "--responder", "--direct"):
        parser.add_argument(name, required=True)
    parser.add_argument("--preload", default="")
    parser.add_argument("--seconds", type=float, default=0.5)
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--count", type=int, default=1000)
    ARGS = parser.parse_args()
    for name in ("emulator", "handler", "responder", "direct"):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    missing = [t for t in TOOLS if not shutil.which(t)]
    if not os.path.exists(VPCD):
        missing.append("vsmartcard-vpcd")
    try:
        import smartcard  # noqa: F401
    except ImportError:
        missing.append("python3-pyscard")
    if missing:
        print("pcsc_bench: missing " + ", ".join(missing))
        return 1
    if not private_namespaces.inside():
        return private_namespaces.run_inside(__file__, sys.argv[1:], mount_proc=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    private_namespaces.bring_loopback_up()
    target = "/run/pcscd" if os.path.isdir("/run/pcscd") else "/run"
    subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=0755", "tmpfs", target], check=True)
    os.makedirs("/run/pcscd", exist_ok=True)
    return measure()


if __name__ == "__main__":
    sys.exit(main())
