"""What the suites that run real programs share: the root hints server that
the tool reaches as its proxy (so its URL stays the constant), a BIND
installation of the POSIX build with a registry and a systemctl stand-in of
its own, and a tally of checks.

Paths are str with the file system's encoding (undecodable bytes kept as
surrogates), so folder names may hold any bytes.
"""
import contextlib
import difflib
import http.server
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import types

FIXTURES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "fixtures")
ROOT_HINTS = "/usr/share/dns/root.hints"  # Debian's dns-root-data
MOVED_URL = "http://www.internic.net/zones/moved/named.root"


def exit_status(stdout, stderr=b"", restored=True):
    """What the tool exits with after printing `stdout` and `stderr`, when
    what a failed run changed was `restored`, or not."""
    failed = stderr or re.search(rb"^(CONFIGURATION FAILED|EXECUTION FAILED)\r?$", stdout, re.M)
    return 0 if not failed else 3 if not restored else 1 if stderr else 2


def write(path, content=b""):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb" if isinstance(content, bytes) else "w") as f:
        f.write(content)


def windows_path(path):
    """A path of this machine as Wine's programs name it (drive Z: is /)."""
    return "Z:" + str(path).replace("/", "\\")


def free_port():
    """A port nobody listens on, free for TCP and UDP alike (named takes both)."""
    while True:
        with socket.socket() as tcp, socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
            tcp.bind(("", 0))
            with contextlib.suppress(OSError):
                udp.bind(("", tcp.getsockname()[1]))
                return tcp.getsockname()[1]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_CONNECT(self):
        """A tunnel to the https host, which the server's `tls` context answers as that host; the requests in it
        are answered as any other."""
        with self.server.lock, open(self.server.log, "a", encoding="latin-1", newline="") as log:
            log.write(self.requestline + "\n" + str(self.headers))
        self.send_response(200)
        self.end_headers()
        self.connection = self.server.tls.wrap_socket(self.connection, server_side=True)
        self.rfile, self.wfile = self.connection.makefile("rb"), self.connection.makefile("wb")

    def do_GET(self):
        server = self.server
        with server.lock, open(server.log, "a", encoding="latin-1", newline="") as log:
            log.write(self.requestline + "\n" + str(self.headers))
            with open(server.scenario_file, encoding="ascii") as f:
                scenarios = f.read().split()
            if len(scenarios) > 1:  # each answers one request; the last stays
                write(server.scenario_file, "\n".join(scenarios[1:]))
        scenario = scenarios[0]
        if scenario == "while-named-runs":
            scenario = "root-hints" if server.named_runs() else "unavailable"
        if scenario == "redirect" and self.path.replace(":80/", "/", 1) == MOVED_URL:
            scenario = "root-hints"  # WinInet names the default port
        if scenario == "gated":
            server.waiting.set()
            server.gate.wait(60)
        if scenario == "silent":  # accepts, then says nothing
            time.sleep(30)
            return
        if scenario == "trickle-headers":  # the status line and headers a byte each half second, for 30 s
            for byte in b"HTTP/1.1 200 OK\r\nX-Padding: " + b"." * 34:
                self.wfile.write(bytes([byte]))
                self.wfile.flush()
                time.sleep(0.5)
            return
        status, headers, body = server.answers.get(scenario, server.answers["root-hints"])
        self.send_response(status)
        for name, value in headers + [("Connection", "close")]:
            self.send_header(name, value)
        self.end_headers()
        # "slow": half, a pause in which a client can be interrupted, the rest;
        # "trickle": a byte a second, for longer than any client waits.
        pieces = {"slow": [body[:len(body) // 2], body[len(body) // 2:]], "trickle": list(body[:30])}
        for piece in pieces.get(scenario, []):
            self.wfile.write(bytes([piece]) if isinstance(piece, int) else piece)
            self.wfile.flush()
            time.sleep(0.3 if scenario == "slow" else 1)
        if scenario not in pieces or scenario == "trickle":
            self.wfile.write(body[30:] if scenario == "trickle" else body)
        self.close_connection = True

    def log_message(self, *args):
        pass


class HintsServer(http.server.ThreadingHTTPServer):
    """Answers each request as the first scenario in <work>/scenario says at
    that moment (another program may write it; each answers one request, the
    last all that follow), and appends its request line and headers to
    <work>/requests. "while-named-runs" gives the root hints only while
    `named_runs()` says so; "gated" sets `waiting` and answers once `gate` is set.
    A CONNECT is answered with TLS from the `tls` context, which a test sets."""
    daemon_threads = True

    def __init__(self, work, root_hints=ROOT_HINTS):
        super().__init__(("127.0.0.1", 0), Handler)
        with open(root_hints, "rb") as f:
            hints = f.read()

        def plain(status, body, *extra):
            return status, [("Content-Length", str(len(body))), *extra], body

        self.answers = {
            "root-hints": plain(200, hints), "not-found": plain(404, hints),  # only the status rejects it
            "server-error": plain(500, b""), "html": plain(200, b"<html><body>Hello</body></html>\n"),
            "empty": plain(200, b""), "unavailable": plain(503, b"no name server\n"),
            "truncated": (200, [("Content-Length", str(len(hints) + 100))], hints),  # only the length rejects it
            "redirect": plain(302, b"moved\n", ("Location", MOVED_URL)),
            # with a cookie for the host that no request may carry back
            "to-https": plain(301, b"moved\n", ("Location", "https://www.internic.net/zones/named.root"),
                              ("Set-Cookie", "session=secret; Path=/")),
            # the automatic logons, from the server and from the proxy
            "challenge": plain(401, b"", ("WWW-Authenticate", "Negotiate"), ("WWW-Authenticate", "NTLM")),
            "proxy-challenge": plain(407, b"", ("Proxy-Authenticate", "Negotiate"), ("Proxy-Authenticate", "NTLM")),
            "oversized": plain(200, hints + b";" * ((1 << 20) + 1 - len(hints))), "trickle": plain(200, hints)}
        self.scenario_file, self.log = os.path.join(work, "scenario"), os.path.join(work, "requests")
        self.waiting, self.gate, self.lock = threading.Event(), threading.Event(), threading.Lock()
        self.named_runs, self.tls = (lambda: True), None
        self.proxy = f"http://127.0.0.1:{self.server_address[1]}"
        self.answer("root-hints")
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def answer(self, *scenarios):
        self.waiting.clear()
        self.gate.clear()
        write(self.scenario_file, "\n".join(scenarios))
        write(self.log, "")

    def requests(self):
        with open(self.log, encoding="latin-1") as f:
            return sum(line.startswith("GET ") for line in f)

    def handle_error(self, request, client_address):
        pass  # a client killed in the middle of an answer

    def stop(self):
        self.shutdown()
        self.server_close()


class Checks:
    def __init__(self):
        self.failures = 0
        self.lock = threading.Lock()  # runs in threads of their own check too

    def check(self, what, ok, detail=""):
        if not ok:
            with self.lock:
                self.failures += 1
                print(f"FAIL: {what}\n{detail}".rstrip())
        return ok

    def equal(self, what, actual, expected):
        """Bytes are shown as a diff of their lines."""
        if isinstance(actual, bytes) and isinstance(expected, bytes):
            detail = "\n".join(difflib.unified_diff([repr(x) for x in expected.split(b"\n")],
                                                    [repr(x) for x in actual.split(b"\n")], lineterm="", n=1))
        else:
            detail = f"  expected: {expected!r}\n  actual:   {actual!r}"
        return self.check(what, actual == expected, detail)

    @contextlib.contextmanager
    def case(self, name):
        before = self.failures
        yield
        print(f"{'ok' if self.failures == before else 'FAILED'}: {name}")

    def finish(self):
        print("all checks passed" if self.failures == 0 else f"{self.failures} check(s) failed")
        return 1 if self.failures else 0


def Result(stdout, stderr, status):  # noqa: N802 (a record)
    return types.SimpleNamespace(stdout=stdout, stderr=stderr, status=status)


class Sandbox:
    def __init__(self, zephrane, parent=None):
        self.zephrane = os.path.abspath(zephrane)
        self.work = tempfile.mkdtemp(prefix="zephrane-", dir=parent)
        self.server = HintsServer(self.work)
        self.checks = Checks()

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.server.stop()
        shutil.rmtree(self.work, ignore_errors=True)


class Installation:
    """BIND in `folder` as the POSIX build finds it: InstallDir in a registry
    of its own, bin/rndc-confgen a copy of `generator`, and `systemctl` (a
    fixture) first on PATH with its state in <side>/services."""

    def __init__(self, sandbox, name, folder, generator, install_dir=None, systemctl="systemctl"):
        self.sandbox, self.folder, self.server = sandbox, folder, sandbox.server
        self.command = [sandbox.zephrane]  # a test may put a program before it
        self.side = os.path.join(sandbox.work, name)  # registry, service state, output
        self.services, self.registry = os.path.join(self.side, "services"), os.path.join(self.side, "registry")
        os.makedirs(self.services)
        self.generator = self.path("bin", "rndc-confgen")
        write(self.generator)
        shutil.copy(generator, self.generator)
        write(os.path.join(self.registry, "Software", "ISC", "BIND", "InstallDir"),
              os.fsencode(folder + "/" if install_dir is None else install_dir))
        self.env = {k: v for k, v in os.environ.items() if k.lower() not in ("no_proxy", "http_proxy")}
        self.env.update(ZEPHRANE_REGISTRY=self.registry, STANDIN_DIR=self.services, http_proxy=sandbox.server.proxy,
                        PATH=os.path.join(FIXTURES, systemctl) + ":" + self.env.get("PATH", "/usr/bin:/bin"))

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def generator_mode(self, mode):
        write(self.path("bin", "stand_in_mode"), mode)

    def run(self, args=(), at_key=None, timeout=60):
        """Runs the tool. `at_key(self)` runs while the stand-in generator
        waits with its key written; the run goes on when it returns."""
        gates = []  # (waiting?, let it go on, action)
        if at_key:
            self.generator_mode("gate")
            gates.append((lambda: os.path.exists(self.path("bin", "stand_in_waiting")),
                          lambda: write(self.path("bin", "stand_in_gate")), at_key))
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.Popen([*self.command, *args], stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=err, env=self.env, cwd=self.side, start_new_session=True)
            deadline = time.monotonic() + timeout
            while process.poll() is None:
                for gate in [g for g in gates if g[0]()]:
                    gate[2](self)
                    gate[1]()
                    gates.remove(gate)
                if time.monotonic() > deadline:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
                    self.sandbox.checks.check(f"run ends within {timeout} s", False)
                time.sleep(0.01)
            self.sandbox.checks.check("every gate was reached", not gates)
            out.seek(0)
            err.seek(0)
            return Result(out.read(), err.read(), process.returncode)

    def check_run(self, what, result, stdout, stderr=b""):
        """The whole transcript, and the exit status it calls for: 1 after an
        error report (a pattern), 2 after a summary of failure, else 0."""
        checks = self.sandbox.checks
        checks.equal(f"{what}: stdout", result.stdout, stdout)
        if isinstance(stderr, bytes):
            checks.equal(f"{what}: stderr", result.stderr, stderr)
        else:
            checks.check(f"{what}: error report", stderr.fullmatch(result.stderr), f"  stderr: {result.stderr!r}")
        checks.equal(f"{what}: exit status", result.status, exit_status(stdout, stderr))
