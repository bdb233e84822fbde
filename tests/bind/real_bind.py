#!/usr/bin/env python3
"""The POSIX build against Debian's real BIND, run as its package runs it
(named -u bind): what `zephrane start` writes must pass BIND's checkers,
carry the modes and owners that let named (and nobody else) read the key
whatever the umask, and make named answer for this machine only, with rndc
holding the key named holds, reloads included; a second run while named runs
and the root hints can be had only through it must stop it, keep the first
configuration untouched as the backup and bring named back with a new key.
Exits 77 (skipped) when named cannot run here.

named, started by the systemctl stand-in, outlives the stand-in as a service
does: this process adopts it (child subreaper) and ends whatever is left,
also when interrupted.
Usage: real_bind.py <zephrane>   (scripts/demo.py shows such a run to a person)
"""
import base64
import contextlib
import ctypes
import errno
import fcntl
import glob
import grp
import hashlib
import os
import pwd
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import threading
import time

sys.path[:0] = [os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), folder)
                for folder in ("support", "scenarios")]
from fake_root import HINTS, SIGNED, FakeRoot  # noqa: E402
from sandbox import FIXTURES, Installation, Sandbox, free_port, write  # noqa: E402
from table import BANNER, encode, transcript as steps  # noqa: E402

GENERATED = ["named.conf", "rndc.conf", "localhost.zone", "named.local", "named.root"]
PR_SET_CHILD_SUBREAPER = 36


def cannot_run():
    """Why named cannot run here, with the exit status to say so (77: skip)."""
    if not shutil.which("named", path=os.environ["PATH"] + ":/usr/sbin"):
        return 77, "named cannot run here (Debian's bind9 installs it: bash scripts/install-deps)"
    # named.conf puts the control channel on 127.0.0.1:953 and nothing moves it.
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", 953))
        except OSError as error:
            if error.errno == errno.EACCES:
                return 77, "port 953 is privileged here: run as root (named serves its control channel there)"
            return 1, "port 953 on 127.0.0.1 is taken (another named?): the generated named.conf needs it for rndc"
    return None


class RealBind(Installation):
    def __init__(self, sandbox):
        super().__init__(sandbox, "bind", os.path.join(sandbox.work, "ISC BIND"), "/usr/sbin/rndc-confgen",
                         systemctl="systemctl-named")
        self.port = str(free_port())
        self.env.update(NAMED_PORT=self.port, PATH=self.env["PATH"] + ":/usr/sbin")

    def sh(self, *words):
        return subprocess.run(words, env=self.env, capture_output=True, text=True)

    def query(self, *words):
        """dig's verdict in a comparable form: status, header flags, answer records."""
        out = self.sh("dig", "-p", self.port, "@127.0.0.1", "+time=2", "+tries=1", "+noall", "+comments",
                      "+answer", *words).stdout
        status, flags = re.search(r"status: (\w+)", out), re.search(r";; flags: ([^;]*);", out)
        return [f"status: {status and status[1]}", f"flags: {flags and flags[1]}",
                *(" ".join(line.split()) for line in out.splitlines() if line and not line.startswith(";"))]

    def named_pid(self):
        """named's process while it runs (a zombie has ended), else None."""
        with contextlib.suppress(OSError, IndexError):
            with open(os.path.join(self.services, "named.pid"), encoding="ascii") as f:
                pid = f.read().strip()
            with open(f"/proc/{pid}/stat", encoding="latin-1") as f:
                return pid if f.read().rsplit(")", 1)[1].split()[0] != "Z" else None

    def started_pid(self):
        """The pid of the latest named the stand-in started, running or not."""
        with contextlib.suppress(OSError), open(os.path.join(self.services, "named.pid"), encoding="ascii") as f:
            return f.read().strip()

    def read(self, folder, name):
        with open(self.path(folder, name), "rb") as f:
            return f.read()


def transcript(bind, second):
    lines = steps(["stop", "rename", "start"] if second else ["start"])
    lines.insert(lines.index("Generating rndc.key ...") + 1, f'wrote key file "{bind.path("etc", "rndc.key")}"')
    return encode(BANNER + lines)


def serves(bind, run):
    """What a run leaves: files BIND accepts, named answering, rndc in control."""
    checks, etc = bind.sandbox.checks, bind.path("etc") + "/"
    for what, words in [("named-checkconf -z", ["named-checkconf", "-z", etc + "named.conf"]),
                        ("named-checkzone localhost", ["named-checkzone", "localhost", etc + "localhost.zone"]),
                        ("named-checkzone 0.0.127.in-addr.arpa",
                         ["named-checkzone", "0.0.127.in-addr.arpa", etc + "named.local"]),
                        ("rndc status with etc/rndc.conf", ["rndc", "-c", etc + "rndc.conf", "status"]),
                        ("rndc reload: named reads named.conf again", ["rndc", "-c", etc + "rndc.conf", "reload"])]:
        done = bind.sh(*words)
        checks.check(f"{run}: {what}", done.returncode == 0, done.stdout + done.stderr)
    checks.equal(f"{run}: named enabled and running", bind.sh("systemctl", "show", "named").stdout.split(),
                 ["LoadState=loaded", "ActiveState=active", "UnitFileState=enabled"])
    checks.equal(f"{run}: localhost A, authoritative, recursion offered", bind.query("localhost", "A"),
                 ["status: NOERROR", "flags: qr aa rd ra", "localhost. 259200 IN A 127.0.0.1"])
    checks.equal(f"{run}: 127.0.0.1 PTR, authoritative", bind.query("-x", "127.0.0.1"),
                 ["status: NOERROR", "flags: qr aa rd ra", "1.0.0.127.in-addr.arpa. 259200 IN PTR localhost."])
    checks.equal(f"{run}: a query from 127.0.0.2 refused", bind.query("-b", "127.0.0.2", "localhost", "A"),
                 ["status: REFUSED", "flags: qr rd"])
    checks.check(f"{run}: no rndc.key left", not os.path.exists(etc + "rndc.key"))
    with open(os.path.join(bind.services, "named.log"), encoding="utf-8", errors="replace") as log:
        checks.equal(f"{run}: what named said of named.conf", [line for line in log if "named.conf:" in line], [])
    checks.equal(f"{run}: modes and owners", modes(bind), EXPECTED_MODES)


def modes(bind):
    """etc and the files the tool wrote: mode, owner and group."""
    infos = {name or "etc": os.stat(bind.path("etc", name)) for name in ["", *GENERATED]
             if os.path.exists(bind.path("etc", name))}
    return {name: (oct(i.st_mode & 0o7777), i.st_uid, grp.getgrgid(i.st_gid).gr_name) for name, i in infos.items()}


# named (user bind) may write its own files into etc and read named.conf; the
# secret is nobody else's; the zones and hints are everybody's to read.
EXPECTED_MODES = {"etc": ("0o1770", 0, "bind"), "named.conf": ("0o640", 0, "bind"), "rndc.conf": ("0o600", 0, "root"),
                  **{name: ("0o644", 0, "root") for name in ("localhost.zone", "named.local", "named.root")}}


def suite(bind):
    checks = bind.sandbox.checks
    # First run: named installed and stopped, no etc folder yet; every mode
    # the umask allows.
    previous = os.umask(0o000)
    bind.check_run("first run", bind.run(["start"]), transcript(bind, False))
    os.umask(previous)
    serves(bind, "first run")
    first = {name: bind.read("etc", name) for name in GENERATED}
    first_pid = bind.named_pid()

    # Second run, while named runs with the first configuration, on a machine
    # that reaches the root hints only through it; a umask that allows nothing.
    bind.sandbox.server.answer("while-named-runs")
    bind.sandbox.server.named_runs = lambda: bind.named_pid() is not None
    # named's own account plants links where the key is to be written.
    target = os.path.join(bind.sandbox.work, "root-only")
    with open(target, "wb") as f:
        f.write(b"root's own\n")
    os.chmod(target, 0o600)
    planter = as_bind(f"while True:\n try: os.symlink({target!r}, {bind.path('etc', 'rndc.key')!r})\n except OSError: pass")
    previous = os.umask(0o077)
    result = bind.run(["start"])
    os.umask(previous)
    planter.kill()
    planter.wait()
    with contextlib.suppress(FileNotFoundError):  # planted once named was let in: the key was gone by then
        os.unlink(bind.path("etc", "rndc.key"))
    checks.equal("second run: a root-only file bind pointed the key at", open(target, "rb").read(), b"root's own\n")
    checks.equal("second run: requests for the root hints", bind.sandbox.server.requests(), 1)
    bind.check_run("second run", result, transcript(bind, True))
    checks.check("second run: named stopped and started anew", bind.named_pid() not in (None, first_pid))
    serves(bind, "second run")
    backups = [name for name in os.listdir(bind.folder) if re.fullmatch(r"etc_\d{14}", name)]
    if checks.equal("second run: backup folders", len(backups), 1):
        checks.equal("second run: backup files changed",
                     [name for name in GENERATED if bind.read(backups[0], name) != first[name]], [])
        checks.check("second run: the old rndc.conf no longer controls named",
                     bind.sh("rndc", "-c", bind.path(backups[0], "rndc.conf"), "status").returncode != 0)
    secret = re.compile(rb'secret "[^"]*"')
    checks.check("second run: a new secret",
                 secret.search(bind.read("etc", "rndc.conf"))[0] != secret.search(first["rndc.conf"])[0])
    # named's account may add its own files to etc but not replace root's.
    replaced = as_bind(f"""
open({bind.path('etc', 'mine')!r}, 'w').close()
for name in ('rndc.conf', 'named.conf'):
    try: os.rename({bind.path('etc', 'mine')!r}, {bind.path('etc')!r} + '/' + name); print(name)
    except OSError: pass
os.unlink({bind.path('etc', 'mine')!r})""", stdout=subprocess.PIPE)
    checks.equal("bind replaced", replaced.communicate()[0], b"")
    failed_runs(bind)
    hints_rule_agrees(bind)
    if checks.failures:
        with contextlib.suppress(OSError), open(os.path.join(bind.services, "named.log"), encoding="utf-8") as log:
            print("named's output since its latest start, the end:", *log.readlines()[-20:], sep="\n")


def as_bind(code, **options):
    """Runs Python `code` as user bind, named's own account."""
    return subprocess.Popen(["/usr/bin/python3", "-c", "import os\n" + code], user="bind", group="bind",
                            stdin=subprocess.DEVNULL, **options)


def refuse_next_start(bind):
    """named cannot take its lock file for the next start only: this process
    holds it from the end of the running named until a new one has given up."""
    lock = os.path.join(bind.services, "lock", "named.lock")
    old = bind.named_pid()

    def hold():
        while bind.named_pid() == old:
            time.sleep(0.01)
        with open(lock, "a") as f:
            os.chown(lock, pwd.getpwnam("bind").pw_uid, -1)
            fcntl.lockf(f, fcntl.LOCK_EX)
            while bind.started_pid() in (None, old) or bind.named_pid() is not None:
                time.sleep(0.01)

    thread = threading.Thread(target=hold, daemon=True)
    thread.start()
    return thread


def failed_runs(bind):
    """Runs that fail after named was stopped: each puts back what it changed.
    named answers from the configuration before the run, under its rndc.conf."""
    checks = bind.sandbox.checks
    generator = bind.path("bin", "rndc-confgen")
    for what, failure, arrange in [
            ("download refused", "named.root not downloaded!", lambda: bind.sandbox.server.answer("not-found")),
            ("no key made", "rndc.key not generated!", lambda: shutil.copy("/bin/true", generator)),
            ("named refuses the new configuration", "Service not started!", lambda: refuse_next_start(bind))]:
        # named's own journals change while it runs; the configuration must not.
        configuration = lambda: {n: bind.read("etc", n) for n in GENERATED}  # noqa: E731
        before, folders = configuration(), set(os.listdir(bind.folder))
        held = arrange()
        result = bind.run(["start"])
        if isinstance(held, threading.Thread):
            held.join(30)
        lines = steps(["stop", "rename", "start"], fails=failure)
        if failure == "Service not started!":  # BIND's generator says where it wrote
            lines.insert(lines.index("Reading rndc.key ..."), f'wrote key file "{bind.path("etc", "rndc.key")}"')
        bind.check_run(what, result, encode(BANNER + lines))
        checks.check(f"{what}: etc as before", configuration() == before)
        # The new etc: removed while empty, else kept aside.
        new = sorted(set(os.listdir(bind.folder)) - folders)
        checks.check(f"{what}: new folders", [re.sub(r"\d{14}", "<stamp>", n) for n in new] ==
                     ["etc_<stamp>_failed"] * (failure != "named.root not downloaded!"), f"  {new}")
        serves(bind, what)
        shutil.copy("/usr/sbin/rndc-confgen", generator)
        bind.sandbox.server.answer("root-hints")
        for name in new:
            shutil.rmtree(bind.path(name))


VALIDATED = ["status: NOERROR", "flags: qr rd ra ad", f"{SIGNED} 3600 IN A 192.0.2.1"]
ROOT_KEY, ROOT_DS = "/usr/share/dns/root.key", "/usr/share/dns/root.ds"  # IANA's, as Debian's dns-root-data has them
KSK_2024_DS = "38696 8 2 683D2D0ACB8C9B712A1948B27F741219298D0A450D612C483AF444A4C0FB2B16"  # as IANA announced it


def root_ds(flags, protocol, algorithm, key):
    """The DS record (key tag, algorithm, SHA-256) of a DNSKEY of the root."""
    data = struct.pack(">HBB", int(flags), int(protocol), int(algorithm)) + base64.b64decode(key)
    tag = sum(byte << 8 * (1 - i % 2) for i, byte in enumerate(data))
    return f"{(tag + (tag >> 16)) & 0xFFFF} {algorithm} 2 {hashlib.sha256(bytes(1) + data).hexdigest().upper()}"


def key_roll(bind):
    """After the root key roll, on a named that knows only the old key: a new
    etc without the root's keys in named.conf validates nothing, with them it
    does, also after a run that moved aside the etc in which named had
    learned the new key. The real keys cannot sign a root of our own: named
    gets the fake ones in the statement the run wrote, in its place."""
    checks, etc, conf = bind.sandbox.checks, bind.path("etc"), bind.read("etc", "named.conf").decode()
    written = re.findall(r'initial-key (\d+) (\d+) (\d+) "([^"]+)"', conf)
    with open(ROOT_KEY, encoding="ascii") as keys, open(ROOT_DS, encoding="ascii") as ds:
        checks.equal("the root's keys: IANA's, and their DS", [(" ".join(k), root_ds(*k)) for k in written],
                     [(" ".join(k.split()[3:7]), d.split(None, 3)[3].strip()) for k, d in zip(keys, ds)])
    checks.equal("KSK-2024's DS", root_ds(*written[-1]), KSK_2024_DS)
    described = conf[:conf.index("\ntrust-anchors {\n") + 1]
    write(os.path.join(bind.side, "windows.conf"), conf.replace("\ntrust-anchors {", "\nmanaged-keys {"))
    done = bind.sh("named-checkconf", os.path.join(bind.side, "windows.conf"))
    checks.equal("named-checkconf: the Windows build's named.conf", done.returncode, 0)
    with FakeRoot(bind.sandbox.work) as root:
        bind.sandbox.server.answers["root-hints"] = (200, [("Content-Length", str(len(HINTS)))], HINTS)
        anchors = "\ntrust-anchors {\n" + "".join(f"\t{root.anchor(key)}\n" for key in (root.old, root.new)) + "};\n"
        for what, text, expected in [("as described", described, ["status: SERVFAIL", "flags: qr rd ra"]),
                                     ("with the fake root's keys", described + anchors, VALIDATED)]:
            bind.sh("systemctl", "stop", "named")
            for name in glob.glob(os.path.join(etc, "managed-keys.bind*")):  # all named had learned
                os.remove(name)
            write(os.path.join(etc, "named.conf"), text)
            write(os.path.join(etc, "named.root"), HINTS)
            bind.sh("systemctl", "start", "named")
            # A chain that does not validate takes named seconds to give up on.
            checks.equal(f"named.conf {what}, nothing learned: {SIGNED}", bind.query(SIGNED, "A", "+time=10"), expected)
        # named has learned the new key in this etc; a run moves it aside.
        bind.env["NAMED_EXTRA_ANCHOR"] = root.anchor(root.new)
        bind.check_run("a run after the key roll", bind.run(["start"]), transcript(bind, True))
        checks.equal(f"after the run: {SIGNED}", bind.query(SIGNED, "A", "+time=10"), VALIDATED)


def hints_rule_agrees(bind):
    """named-checkzone takes the "+" rows of the root hints cases and refuses
    the "-" ones, given named's $TTL for hints (0) and the SOA a zone needs."""
    with open(os.path.join(FIXTURES, "root_hints_cases.txt"), encoding="ascii") as f:
        cases = [(line[0], re.sub(r"\\[nrt]", lambda m: "\n\r\t"["nrt".index(m[0][1])], line.split(": ", 1)[1]))
                 for line in f.read().splitlines() if line[:1] in ("=", "+", "-")]
    hints, zone = cases[0][1], os.path.join(bind.side, "hints")  # the "=" line comes first
    for mark, text in cases[1:]:
        open(zone, "w", encoding="ascii", newline="").write(
            f"$TTL 0\n{text.replace('{HINTS}', hints)}\n. 0 IN SOA a.root-servers.net. b. 1 2 3 4 5\n")
        bind.sandbox.checks.equal(f"named-checkzone on {mark} {text!r}",
                                  bind.sh("named-checkzone", ".", zone).returncode == 0, mark == "+")


def end_adopted():
    """Kills and reaps what this process adopted and is still running."""
    me = str(os.getpid())
    for entry in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError, IndexError):
            with open(f"/proc/{entry}/stat", encoding="latin-1") as f:
                if f.read().rsplit(")", 1)[1].split()[1] == me:
                    os.kill(int(entry), signal.SIGKILL)
    with contextlib.suppress(ChildProcessError):
        while True:
            os.waitpid(-1, 0)


def with_real_bind(zephrane, action):
    """Runs `action(bind)` in a sandbox with the real named (or exits, 77 when
    it cannot run here); no named outlives it. Returns the sandbox's checks.
    As root it runs in a mount and network namespace of its own: its
    loopback (its port 953, the fake root's address) and its bind mounts are
    nobody else's, and nothing of them outlives it."""
    if os.geteuid() == 0 and os.environ.get("ZEPHRANE_OWN_NAMESPACES") != "1":
        os.environ["ZEPHRANE_OWN_NAMESPACES"] = "1"
        os.execvp("unshare", ["unshare", "--mount", "--net", "--propagation", "private", sys.executable, *sys.argv])
    if os.geteuid() == 0:
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    reason = cannot_run()
    if reason:
        print(reason[1], file=sys.stderr)
        sys.exit(reason[0])
    ctypes.CDLL(None).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    for number in (signal.SIGINT, signal.SIGTERM):
        signal.signal(number, lambda number, _: sys.exit(128 + number))
    # named, as user bind, must reach its folder: /tmp, whatever TMPDIR says.
    with Sandbox(zephrane, "/tmp") as sandbox:
        os.chmod(sandbox.work, 0o755)
        bind = RealBind(sandbox)
        try:
            action(bind)
        finally:
            bind.sh("systemctl", "stop", "named")
            end_adopted()
    return sandbox.checks


if __name__ == "__main__":
    started = time.monotonic()
    checks = with_real_bind(sys.argv[1], lambda bind: (suite(bind), key_roll(bind)))
    print(f"real BIND suite: {time.monotonic() - started:.0f} s")
    sys.exit(checks.finish())
