#!/usr/bin/python3
"""Checks the Windows builds of SQLite and libpq (scripts/windows-deps):
statically, that each libpq.dll and the check program import Windows' own
DLLs only (and libpq.dll); then under Wine, with deps_check.exe
(tests/windows/deps): a SQLite file written and read back, two Wine
processes on one file where the second meets SQLITE_BUSY while the first
holds the write lock, and libpq against a PostgreSQL server started here on
loopback with a SCRAM password, where sslmode=require fails with libpq's
own message (this build has no TLS).

Usage: run_deps_test.py DEPS_DIR CHECK_WIN64_DIR

One fresh Wine prefix and one server in temporary folders; the server and
wineserver are stopped on every way out, and every step has a time limit.
Prints each check and the time of each step; exit status 0 when every check
passed.
"""
import ctypes
import os
import pwd
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import pefile

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
BOOT_LIMIT = 120
STEP_LIMIT = 60
TRIPLETS = {"x86_64-w64-mingw32": 0x8664, "i686-w64-mingw32": 0x14C}
# Windows' own DLLs, with the old (msvcrt) or the universal C runtime.
SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "ws2_32.dll", "secur32.dll", "shell32.dll",
               "user32.dll", "wldap32.dll", "msvcrt.dll", "ucrtbase.dll"}
PASSWORD = "clave-de-prueba-7x"
NO_TLS = 'sslmode value "require" invalid when SSL support is not compiled in'

failures = []


def log(text):
    print("run_deps_test: " + text, flush=True)


def check(ok, what):
    log(("ok     " if ok else "FAILED ") + what)
    if not ok:
        failures.append(what)


def imports(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    names = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    return pe.FILE_HEADER.Machine, names


def is_system(name):
    return name in SYSTEM_DLLS or name.startswith("api-ms-win-crt-")


def static_checks(deps, program):
    for triplet, machine in TRIPLETS.items():
        dll = os.path.join(deps, triplet, "libpq", "bin", "libpq.dll")
        try:
            kind, names = imports(dll)
        except (OSError, pefile.PEFormatError) as error:
            check(False, "%s libpq.dll can be read: %s" % (triplet, error))
            continue
        check(kind == machine, "%s libpq.dll is built for its machine" % triplet)
        others = sorted(n for n in names if not is_system(n))
        check(not others, "%s libpq.dll imports Windows' own DLLs only (%s)%s" % (
            triplet, " ".join(sorted(names)), " not: " + " ".join(others) if others else ""))
    _, names = imports(program)
    others = sorted(n for n in names if not is_system(n) and n != "libpq.dll")
    check("libpq.dll" in names and not others,
          "deps_check.exe imports libpq.dll and Windows' own DLLs only (%s)" % " ".join(sorted(names)))


def pg_bin():
    given = os.environ.get("KVR_PG_BINDIR")
    if given:
        return given
    found = [int(v) for v in os.listdir("/usr/lib/postgresql") if v.isdigit()
             and os.path.exists("/usr/lib/postgresql/%s/bin/postgres" % v)]
    if not found:
        raise RuntimeError("no PostgreSQL server found (install postgresql or set KVR_PG_BINDIR)")
    return "/usr/lib/postgresql/%d/bin" % max(found)


class Postgres:
    """A PostgreSQL server of its own: its socket in a temporary folder for
    the setup, TCP on 127.0.0.1 for Wine, a superuser kvr whose TCP logins
    give a SCRAM password.  Runs as nobody when the test runs as root."""

    def __init__(self):
        self.bin = pg_bin()
        self.proc = None
        self.account = None
        if os.geteuid() == 0:
            nobody = pwd.getpwnam("nobody")
            self.account = (nobody.pw_uid, nobody.pw_gid)
        self.folder = tempfile.mkdtemp(prefix="kvr-pg-wine-")
        self.data = os.path.join(self.folder, "data")
        secret = os.path.join(self.folder, "password")
        with open(secret, "w") as f:
            f.write(PASSWORD + "\n")
        for path in (self.folder, secret):
            self.hand(path)

    def initdb(self):
        self.run([self.bin + "/initdb", "-D", self.data, "-U", "kvr", "--pwfile",
                  os.path.join(self.folder, "password"), "--auth-local=trust",
                  "--auth-host=scram-sha-256", "--no-sync", "-E", "UTF8", "--locale=C"],
                 "initdb.log")

    def hand(self, path):
        if self.account:
            os.chown(path, *self.account)

    def as_server(self):
        """In the child, before exec: the server's account, and SIGQUIT
        (immediate shutdown) should this process end first."""
        if self.account:
            os.setgroups([])
            os.setgid(self.account[1])
            os.setuid(self.account[0])
        ctypes.CDLL(None).prctl(1, signal.SIGQUIT)  # PR_SET_PDEATHSIG

    def spawn(self, argv, log_name):
        out = open(os.path.join(self.folder, log_name), "ab")
        try:
            return subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                    cwd=self.folder, preexec_fn=self.as_server,
                                    env={"LC_ALL": "C", "PATH": "/usr/bin:/bin", "TZ": "UTC"})
        finally:
            out.close()

    def run(self, argv, log_name):
        if self.spawn(argv, log_name).wait(STEP_LIMIT) != 0:
            raise RuntimeError("%s failed:\n%s" % (argv[0], self.read(log_name)))

    def read(self, log_name):
        with open(os.path.join(self.folder, log_name), errors="replace") as f:
            return f.read()

    def start(self):
        """On a free port: one the system gives now, another should the
        server meet a clash with a process that took it meanwhile."""
        for _ in range(5):
            with socket.socket() as s:
                s.bind(("127.0.0.1", 0))
                self.port = s.getsockname()[1]
            open(os.path.join(self.folder, "server.log"), "w").close()
            self.proc = self.spawn([
                self.bin + "/postgres", "-D", self.data, "-k", self.folder, "-p", str(self.port),
                "-c", "listen_addresses=127.0.0.1", "-c", "shared_buffers=16MB",
                "-c", "max_connections=10", "-c", "fsync=off"], "server.log")
            deadline = time.monotonic() + STEP_LIMIT
            while time.monotonic() < deadline and self.proc.poll() is None:
                ready = subprocess.run([self.bin + "/pg_isready", "-q", "-h", self.folder, "-p",
                                        str(self.port), "-U", "kvr"], check=False)
                if ready.returncode == 0:
                    return
                time.sleep(0.05)
            text = self.read("server.log")
            self.stop()
            if "could not bind" not in text:
                raise RuntimeError("the PostgreSQL server did not start:\n" + text)
        raise RuntimeError("no free port for the PostgreSQL server")

    def stop(self):
        """Fast shutdown, then immediate, then kill."""
        if self.proc is None:
            return
        for sig, wait in ((signal.SIGINT, 15), (signal.SIGQUIT, 5), (signal.SIGKILL, 60)):
            if self.proc.poll() is not None:
                break
            self.proc.send_signal(sig)
            try:
                self.proc.wait(wait)
            except subprocess.TimeoutExpired:
                pass
        self.proc = None

    def remove(self):
        self.stop()
        shutil.rmtree(self.folder, ignore_errors=True)


def output_of(text):
    """The "key: value" lines a deps_check run printed, as a dict."""
    pairs = {}
    for line in text.splitlines():
        key, _, value = line.partition(": ")
        pairs[key.strip()] = value.strip()
    return pairs


def main():
    deps, build = sys.argv[1], sys.argv[2]
    # Stopped from outside: clean up as on any other way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(129))
    program = os.path.join(build, "deps_check.exe")
    static_checks(deps, program)

    work = tempfile.mkdtemp(prefix="kvr-deps-wine-")
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env.update({"WINEPREFIX": os.path.join(work, "prefix"), "WINEDEBUG": "-all",
                "WINEDLLOVERRIDES": "mscoree,mshtml=", "WINEARCH": "win64"})
    shutil.copy(program, work)
    shutil.copy(os.path.join(build, "libpq.dll"), work)
    server = None

    def wine(*args, stdin=None):
        return subprocess.run([WINE, "deps_check.exe", *args], env=env, cwd=work, input=stdin,
                              capture_output=True, text=True, timeout=STEP_LIMIT, check=False)

    try:
        t = time.monotonic()
        subprocess.run([WINE, "wineboot", "-i"], env=env, check=True, timeout=BOOT_LIMIT,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        log("wineboot: %.1f s" % (time.monotonic() - t))

        t = time.monotonic()
        run = wine("sqlite-write", "notes.db", "primera nota")
        out = output_of(run.stdout)
        check(run.returncode == 0 and out.get("read") == "primera nota",
              "SQLite %s: a new file holds the row written and gives it back" %
              out.get("sqlite_version", "?"))

        holder = subprocess.Popen([WINE, "deps_check.exe", "sqlite-hold", "notes.db"], env=env,
                                  cwd=work, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  text=True, bufsize=1)
        try:
            ready, _, _ = select.select([holder.stdout], [], [], STEP_LIMIT)
            line = holder.stdout.readline() if ready else ""
            check(line.strip() == "state: holding", "the first process holds the write lock")
            run = wine("sqlite-busy", "notes.db")
            check(run.returncode == 0 and output_of(run.stdout).get("begin") == "SQLITE_BUSY",
                  "a second Wine process meets SQLITE_BUSY (%s)" % run.stdout.strip())
            holder.stdin.write("done\n")
            holder.stdin.flush()
            rest, _ = holder.communicate(timeout=STEP_LIMIT)
            check(holder.returncode == 0 and "state: committed" in rest,
                  "the first process commits once asked")
        finally:
            if holder.poll() is None:
                holder.kill()
                holder.wait()
        run = wine("sqlite-busy", "notes.db")
        check(run.returncode == 1, "with the lock given back, the second process gets it (%s)" %
              run.stdout.strip())
        run = wine("sqlite-count", "notes.db")
        check(output_of(run.stdout).get("count") == "2", "both processes' rows are in the file (%s)"
              % run.stdout.strip())
        log("SQLite under Wine: %.1f s" % (time.monotonic() - t))

        t = time.monotonic()
        server = Postgres()
        server.initdb()
        server.start()
        log("PostgreSQL server on 127.0.0.1:%d: %.1f s" % (server.port, time.monotonic() - t))
        t = time.monotonic()
        base = "host=127.0.0.1 port=%d dbname=postgres user=kvr connect_timeout=20" % server.port
        run = wine("pq", base + " sslmode=disable password=" + PASSWORD)
        out = output_of(run.stdout)
        check(run.returncode == 0 and out.get("row") == "kvr kvr7x 42" and
              out.get("password_used") == "1" and out.get("stored_password") == "SCRAM-SHA-256" and
              out.get("server_version", "").startswith("15"),
              "libpq connects with its SCRAM password and runs a query (%s)" %
              " ".join(run.stdout.split()))
        run = wine("pq-refused", base + " sslmode=disable password=otra")
        refused = output_of(run.stdout).get("refused", "")
        check(run.returncode == 0 and 'password authentication failed for user "kvr"' in refused,
              "a wrong password is refused by the server: " + refused)
        run = wine("pq-refused", base + " sslmode=require password=" + PASSWORD)
        refused = output_of(run.stdout).get("refused", "")
        log("sslmode=require: " + refused)
        check(run.returncode == 0 and NO_TLS in refused,
              "sslmode=require fails with libpq's own message (this build has no TLS)")
        log("libpq under Wine: %.1f s" % (time.monotonic() - t))
    except (RuntimeError, OSError, subprocess.SubprocessError) as error:
        check(False, "the run went through: %s" % error)
    finally:
        # A stop from outside does not cut the cleanup short.
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        signal.signal(signal.SIGHUP, signal.SIG_IGN)
        if server:
            server.remove()
        subprocess.run([WINESERVER, "-k"], env=env, check=False, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)
    log("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
