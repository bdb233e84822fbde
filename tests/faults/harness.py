"""What the fault suites share: a BIND installation on the real file system
with stand-ins for its key generator, its service and the root hints server;
runs of the real executable; and the checks that nothing was lost.

Every suite is called as: <suite>.py <zephrane> <stand-in key generator>.
Paths are str with the file system's encoding (undecodable bytes kept as
surrogates), so folder names may hold any bytes.
"""
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(os.path.dirname(HERE), "fixtures")
ROOT_HINTS = "/usr/share/dns/root.hints"
SKIP = 77  # the suites' exit status for "cannot run here" (SKIP_RETURN_CODE)

BANNER = ["", "Zephrane 0.3b1", "Copyright (C) 2026 The Zephrane developers", ""]
STEPS = [
    "Searching folder ...", "Searching bin-folder ...", "Searching rndc-confgen ...",
    "Stopping service ...", "Renaming etc-folder ...", "Creating etc-folder ...",
    "Downloading named.root ...", "Generating rndc.key ...", "Reading rndc.key ...",
    "Deleting rndc.key ...", "Writing rndc.conf ...", "Writing named.conf ...",
    "Writing localhost.zone ...", "Writing named.local ...", "Starting service ...",
]
GENERATED = ["named.root", "rndc.conf", "named.conf", "localhost.zone", "named.local"]
BACKUP_NAME = re.compile(r"etc_\d{14}\Z")

# An etc folder as a user may have left it: files, a subfolder, an empty
# file, every byte value, a name in Windows-1252.
PREVIOUS_ETC = {
    "named.conf": b'options {\n\tdirectory "/old/etc";\n};\n',
    "rndc.conf": b'key "old-key" {\n\tsecret "b2xk";\n};\n',
    "zones/example.zone": b"$TTL 1D\n@\tIN\tSOA\tns. host. (1 1 1 1 1)\n",
    "empty": b"",
    "bytes.bin": bytes(range(256)),
    os.fsdecode(b"notiz-\xe4\xf6\xfc.txt"): b"\xc4\xd6\xdc\r\n\x1a",
}


def encode(lines):
    """Lines as the tool prints them, each ended with LF."""
    return b"".join(os.fsencode(line) + b"\n" for line in lines)


def progress(last, stop=False, rename=True, start=False):
    """The progress lines of a run up to and including `last`."""
    skipped = {"Stopping service ...": stop, "Renaming etc-folder ...": rename, "Starting service ...": start}
    steps = [s for s in STEPS if skipped.get(s, True)]
    return steps[: steps.index(last) + 1]


def configured(lines, succeeded):
    """The whole output of a configuration run that printed `lines`."""
    summary = "CONFIGURATION SUCCEEDED" if succeeded else "CONFIGURATION FAILED"
    return encode(BANNER + lines + ["", summary, ""])


def error_report(message):
    """The report of an uncaught I/O error on standard error."""
    return re.compile(rb"Exception EInOutError in Modul zephrane bei [0-9A-F]{8}\.\n" +
                      re.escape(message.encode()) + rb"\.\n\n\Z")


def snapshot(path):
    """Everything at `path`, a folder or a file: relative path -> what it is
    and holds. Time stamps are left out; names, modes and bytes count."""
    found = {}

    def visit(full, relative):
        info = os.lstat(full)
        if stat.S_ISDIR(info.st_mode):
            found[relative] = ("folder", info.st_mode)
            for entry in sorted(os.listdir(full)):
                visit(os.path.join(full, entry), os.path.join(relative, entry))
        elif stat.S_ISREG(info.st_mode):
            with open(full, "rb") as f:
                found[relative] = ("file", info.st_mode, f.read())
        elif stat.S_ISLNK(info.st_mode):
            found[relative] = ("link", os.readlink(full))
        else:
            found[relative] = ("other", info.st_mode, info.st_rdev)

    visit(path, "")
    return found


def configurations(folder):
    """etc and every backup in `folder`: name -> snapshot."""
    names = sorted(n for n in os.listdir(folder) if n == "etc" or BACKUP_NAME.match(n))
    return {n: snapshot(os.path.join(folder, n)) for n in names}


def copies_of(folder, kept):
    """The names in `folder` ("etc" or a backup) whose content equals `kept`."""
    return [name for name, content in configurations(folder).items() if content == kept]


def key_files(folder):
    """Every rndc.key below `folder`, relative."""
    return sorted(os.path.relpath(os.path.join(root, name), folder)
                  for root, _, names in os.walk(folder) for name in names if name == "rndc.key")


def backups(folder):
    return sorted(n for n in os.listdir(folder) if BACKUP_NAME.match(n))


class Suite:
    """One suite run: the executables, a work folder, the root hints server
    (reached as the tool's proxy) and the tally of checks."""

    def __init__(self):
        if len(sys.argv) != 3:
            sys.exit(f"usage: {sys.argv[0]} <zephrane> <stand-in key generator>")
        self.zephrane, self.stand_in = (os.path.abspath(p) for p in sys.argv[1:3])
        self.work = tempfile.mkdtemp(prefix="zephrane-faults-")
        self.failures = 0
        self.scenario_file = os.path.join(self.work, "scenario")
        self.scenario("root-hints")
        port_file = os.path.join(self.work, "port")
        self.server = subprocess.Popen(
            [sys.executable, os.path.join(FIXTURES, "http_server.py"), "--port-file", port_file,
             "--log", os.path.join(self.work, "requests"), "--scenario-file", self.scenario_file,
             "--root-hints", ROOT_HINTS],
            stderr=subprocess.DEVNULL)  # a client killed mid-answer makes it complain
        for _ in range(100):
            if os.path.exists(port_file) or self.server.poll() is not None:
                break
            time.sleep(0.05)
        with open(port_file, encoding="ascii") as f:
            self.proxy = "http://127.0.0.1:" + f.read()

    def scenario(self, name):
        for leftover in (".waiting", ".gate"):
            if os.path.exists(self.scenario_file + leftover):
                os.remove(self.scenario_file + leftover)
        with open(self.scenario_file, "w", encoding="ascii") as f:
            f.write(name)

    def check(self, what, ok, detail=""):
        if not ok:
            self.failures += 1
            print(f"FAIL: {what}\n{detail}".rstrip())
        return ok

    def expect_equal(self, what, actual, expected):
        return self.check(what, actual == expected, f"  expected: {expected!r}\n  actual:   {actual!r}")

    def finish(self):
        self.server.kill()
        self.server.wait()
        shutil.rmtree(self.work, ignore_errors=True)
        print("all checks passed" if self.failures == 0 else f"{self.failures} check(s) failed")
        sys.exit(1 if self.failures else 0)


class Result:
    def __init__(self, stdout, stderr, status):
        self.stdout, self.stderr, self.status = stdout, stderr, status


class Installation:
    """BIND in `folder`: bin/rndc-confgen is the stand-in, InstallDir in a
    registry of its own, named a unit of a systemctl stand-in of its own."""

    def __init__(self, suite, name, folder, install_dir=None):
        self.suite = suite
        self.folder = folder
        self.side = os.path.join(suite.work, name)  # registry, service state, output
        os.makedirs(self.side)
        os.makedirs(os.path.join(folder, "bin"), exist_ok=True)
        self.generator = os.path.join(folder, "bin", "rndc-confgen")
        os.symlink(suite.stand_in, self.generator)
        self.services = os.path.join(self.side, "services")
        os.mkdir(self.services)
        self.registry = os.path.join(self.side, "registry")
        self.set_install_dir(folder + "/" if install_dir is None else install_dir)
        self.generator_mode("")

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def set_install_dir(self, value):
        """The registry value, bytes as given (str with surrogates allowed)."""
        key = os.path.join(self.registry, "Software", "ISC", "BIND")
        os.makedirs(key, exist_ok=True)
        with open(os.path.join(key, "InstallDir"), "wb") as f:
            f.write(os.fsencode(value))

    def generator_mode(self, mode):
        with open(self.path("bin", "stand_in_mode"), "w", encoding="ascii") as f:
            f.write(mode)

    def previous_etc(self):
        """Writes the previous configuration into etc; returns its snapshot."""
        for name, content in PREVIOUS_ETC.items():
            os.makedirs(os.path.dirname(self.path("etc", name)), exist_ok=True)
            with open(self.path("etc", name), "wb") as f:
                f.write(content)
        return snapshot(self.path("etc"))

    def named(self, state, **files):
        """The named unit in `state` ("active", "inactive"), plus stand-in
        files such as stop_exit="1" (written as stop-exit)."""
        unit = os.path.join(self.services, "named")
        os.makedirs(unit, exist_ok=True)
        files = {"active": state, "unit_file": "enabled", **files}
        for name, content in files.items():
            with open(os.path.join(unit, name.replace("_", "-")), "w", encoding="ascii") as f:
                f.write(content + "\n")

    def named_state(self):
        with open(os.path.join(self.services, "named", "active"), encoding="ascii") as f:
            return f.readline().strip()

    def env(self):
        env = {k: v for k, v in os.environ.items() if k.lower() not in ("no_proxy", "http_proxy")}
        env.update(ZEPHRANE_REGISTRY=self.registry, STANDIN_DIR=self.services, http_proxy=self.suite.proxy,
                   PATH=os.path.join(FIXTURES, "systemctl") + ":" + env.get("PATH", "/usr/bin:/bin"))
        return env

    def run(self, args=(), at_key=None, at_download=None, timeout=60):
        """Runs the tool in `folder`'s parent. `at_key(self)` runs while the
        generator waits with its key written (stand-in mode "gate"),
        `at_download(self)` while the server holds back the root hints
        (scenario "gated"); the run goes on when they return."""
        gates = []
        if at_key:
            self.generator_mode("gate")
            gates.append((self.path("bin", "stand_in_waiting"), self.path("bin", "stand_in_gate"), at_key))
        if at_download:
            self.suite.scenario("gated")
            gates.append((self.suite.scenario_file + ".waiting", self.suite.scenario_file + ".gate", at_download))
        out_path, err_path = os.path.join(self.side, "stdout"), os.path.join(self.side, "stderr")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            process = subprocess.Popen([self.suite.zephrane, *args], stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=err, env=self.env(), cwd=self.side, start_new_session=True)
            deadline = time.monotonic() + timeout
            while process.poll() is None:
                for waiting, gate, action in list(gates):
                    if os.path.exists(waiting):
                        action(self)
                        open(gate, "w").close()
                        gates.remove((waiting, gate, action))
                if time.monotonic() > deadline:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
                    self.suite.check(f"run ends within {timeout} s", False)
                    break
                time.sleep(0.01)
        self.suite.check("every gate was reached", not gates, f"  left: {[g[0] for g in gates]}")
        with open(out_path, "rb") as out, open(err_path, "rb") as err:
            return Result(out.read(), err.read(), process.returncode)

    def check_run(self, what, result, stdout, stderr=b""):
        """The whole transcript; an error report (a pattern) means status 1."""
        suite = self.suite
        suite.expect_equal(f"{what}: stdout", result.stdout, stdout)
        if isinstance(stderr, re.Pattern):
            suite.check(f"{what}: error report", stderr.match(result.stderr), f"  stderr: {result.stderr!r}")
            suite.expect_equal(f"{what}: exit status", result.status, 1)
        else:
            suite.expect_equal(f"{what}: stderr", result.stderr, stderr)
            suite.expect_equal(f"{what}: exit status", result.status, 0)
