"""A private pcscd for a test or a benchmark: the script runs itself again
inside new mount, PID and network namespaces, so that its pcscd, its
readers and their sockets cannot meet the system's (or another run's), and
everything in the namespaces dies with it."""

import ctypes
import fcntl
import os
import signal
import socket
import struct
import subprocess
import sys

INSIDE_MARK = "KVR_PRIVATE_NAMESPACES"


def inside():
    """Whether this process runs in the namespaces already."""
    return os.environ.get(INSIDE_MARK) == "1"


def stop_process(proc):
    """Ends a child politely, then for sure."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(5)


def bring_loopback_up():
    """A new network namespace starts with its loopback interface down."""
    siocsifflags, iff_up, iff_loopback, iff_running = 0x8914, 0x1, 0x8, 0x40
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        fcntl.ioctl(s, siocsifflags, struct.pack("16sH", b"lo", iff_up | iff_loopback | iff_running))


def unshare_command(mount_proc=False):
    """unshare's command line; mount_proc: a /proc of the new PID namespace
    (strace finds a process's threads there)."""
    command = ["unshare", "--mount", "--pid", "--net", "--fork", "--kill-child", "--propagation", "private"]
    if mount_proc:
        command.append("--mount-proc")
    if os.geteuid() != 0:
        command.append("--map-root-user")
    return command


def run_inside(script, argv, mount_proc=False):
    """Runs script with argv again inside the namespaces; its exit code.
    Killing unshare kills the namespace's first process (--kill-child), and
    with it every process in the namespace; this process's end, or a signal
    to it, does the same."""
    env = dict(os.environ)
    env[INSIDE_MARK] = "1"

    def die_with_this_process():
        ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG

    inner = subprocess.Popen(unshare_command(mount_proc) + [sys.executable, os.path.abspath(script)] + argv,
                             env=env, preexec_fn=die_with_this_process)
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, lambda *_: inner.kill())
    return inner.wait()
