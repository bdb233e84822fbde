"""The Windows machine of the suite: a fresh Wine prefix of its own with BIND's
registry value, the services "named" and "Dnscache" (our test service), an
installation folder under C:\\ and the root hints server reached as proxy."""
import os
import shutil
import socket
import select
import subprocess
import sys
import tempfile
import time
from pathlib import Path

BIND_KEY = "HKLM\\Software\\ISC\\BIND"
SERVICES = ("named", "Dnscache")
RUN_DEADLINE = 120  # seconds for one program run under Wine


def windows_path(path):
    """A path of this machine as Wine's programs name it (drive Z: is /)."""
    return "Z:" + str(path).replace("/", "\\")


class HintsServer:
    """tests/fixtures/http_server.py, answering as the scenario file says."""

    def __init__(self, script, root_hints, work):
        self.work = work
        self.process = subprocess.Popen(
            [sys.executable, str(script), "--port-file", str(work / "port"), "--log", str(work / "requests"),
             "--scenario-file", str(work / "scenario"), "--root-hints", str(root_hints),
             "--times", str(work / "times"), "--lifetime", "900"])
        self.answer("root-hints")
        for _ in range(100):
            if (work / "port").exists():
                break
            if self.process.poll() is not None:
                raise RuntimeError("the HTTP server did not start")
            time.sleep(0.1)
        self.port = int((work / "port").read_text())

    def answer(self, scenario):
        (self.work / "scenario").write_text(scenario)

    def last_request_seconds(self):
        """How long the server took over the last request it answered."""
        received, sent = (self.work / "times").read_text().split("\n")[-2].split()
        return float(sent) - float(received)

    def stop(self):
        self.process.kill()
        self.process.wait()


def closed_port():
    """A port on 127.0.0.1 that nobody listens on."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Run:
    """What one run of the executable gave: output, status, timings."""

    def __init__(self, stdout, stderr, status, began, seconds, stdout_arrivals):
        self.began = began
        self.stdout = stdout
        self.stderr = stderr
        self.status = status
        self.seconds = seconds
        self.stdout_arrivals = stdout_arrivals  # (time, bytes so far)

    def time_printed(self, line):
        """When the text up to and including `line` had reached the pipe."""
        for arrived, upto in self.stdout_arrivals:
            if line in upto:
                return arrived
        return None


class Machine:
    def __init__(self, runner, prefix, fixtures, zephrane):
        self.prefix = Path(prefix).absolute()
        self.runner = [str(Path(runner).absolute()), str(self.prefix)]
        self.fixtures = Path(fixtures).absolute()
        self.zephrane = Path(zephrane).absolute()
        self.install = None
        # Local time in UTC and a fixed locale, so that time stamps and code
        # pages are the same on every machine.
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith("LC_") and k not in ("no_proxy", "NO_PROXY", "LANGUAGE")}
        self.env.update(TZ="UTC", LANG="C.UTF-8")
        self.idle = None
        self.registry = None
        self.services = {}

    def wine(self, *words, check=True):
        # Files, not pipes: a Wine program may leave a daemon of the prefix
        # behind that holds on to its output, and a pipe would never end.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            status = subprocess.run(self.runner + list(words), env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=err, check=False, timeout=RUN_DEADLINE).returncode
            out.seek(0)
            err.seek(0)
            stdout, stderr = out.read().decode("latin-1"), err.read().decode("latin-1")
        if check and status != 0:
            raise RuntimeError(f"{' '.join(words)}: exit status {status}\n{stdout}{stderr}")
        return stdout

    def create(self):
        """A new prefix (the runner makes it on first use), kept alive by an
        idle program of ours, with the two services registered."""
        if self.prefix.exists():
            self.end_programs()  # of an earlier run of the suite that was cut short
        shutil.rmtree(self.prefix, ignore_errors=True)
        Path(str(self.prefix) + ".lock").unlink(missing_ok=True)
        self.wine("cmd", "/c", "exit")
        self.idle = subprocess.Popen(self.runner + [str(self.fixtures / "idle.exe"), "900"], env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for name in SERVICES:
            self.register(name)

    def shutdown(self):
        if self.idle is not None:
            self.idle.kill()
            self.idle.wait()
        self.end_programs()

    def end_programs(self):
        """Ends every program of this prefix (ours: the services, the idle one)."""
        wine = os.environ.get("ZEPHRANE_WINE", "/usr/lib/wine/wine64")  # as tests/wine/run
        wineserver = shutil.which(wine.removesuffix("64") + "server64") or "wineserver"
        subprocess.run([wineserver, "-k"], env=dict(self.env, WINEPREFIX=str(self.prefix)), check=False)

    def code_pages(self):
        words = self.wine(str(self.fixtures / "service_admin.exe"), "codepages").split()
        return int(words[1]), int(words[3])

    # Registry -----------------------------------------------------------

    def set_registry(self, value):
        """value: None (no key), () (key without value) or (type, data)."""
        if value == self.registry:
            return
        self.wine("reg", "delete", "HKLM\\Software\\ISC", "/f", check=False)
        if value is not None:
            self.wine("reg", "add", BIND_KEY, "/f")
        if value:
            kind, data = value
            self.wine("reg", "add", BIND_KEY, "/v", "InstallDir", "/t", kind, "/d", data, "/f")
            stored = self.wine("reg", "query", BIND_KEY, "/v", "InstallDir")
            if f"{kind}    {data}".rstrip() not in stored and kind != "REG_DWORD":
                raise RuntimeError(f"InstallDir not stored as {kind} {data!r}: {stored!r}")
        self.registry = value

    # Services -----------------------------------------------------------

    def register(self, name):
        command = f'"{windows_path(self.fixtures / "test_service.exe")}" normal'
        self.wine("sc", "create", name, "binPath=", command, "start=", "demand")
        self.services[name] = None

    def set_service(self, name, wanted):
        """wanted: None (not registered) or (behaviour, start type, running).
        self.services holds what each registered one is known to be (None:
        not known)."""
        admin = str(self.fixtures / "service_admin.exe")
        if wanted is None:
            if name in self.services:
                self.wine(admin, "remove", name)
                del self.services[name]
            return
        if name not in self.services:
            self.register(name)
        if self.services[name] != wanted:
            behaviour, start_type, running = wanted
            self.wine(admin, "prepare", name, behaviour, str(start_type), "running" if running else "stopped")
            self.services[name] = wanted

    def service_states(self):
        """{name: (state, start type)} as the Service Control Manager reports them."""
        states = {}
        for line in self.wine(str(self.fixtures / "service_admin.exe"), "query", *SERVICES).splitlines():
            name, state, start_type = line.split()
            states[name] = (int(state), int(start_type))
        return states

    def note_states(self, states):
        """What a run left the services in, so that the next set-up changes
        only what differs."""
        for name, (state, start_type) in states.items():
            if self.services.get(name) is not None:
                behaviour = self.services[name][0]
                self.services[name] = (behaviour, start_type, state == 4) if state in (1, 4) else None

    # Files --------------------------------------------------------------

    def set_install(self, install_dir, bin_folder, generator, mode, etc, backups):
        """The installation folder install_dir ("C:\\...\\", the only one):
        bin (with the stand-in as generator and its mode), etc (files by
        name, or None) and backup folders by name."""
        if self.install is not None:
            shutil.rmtree(self.install)
        drive_c = self.prefix / "drive_c"
        self.install = drive_c / install_dir[3:].rstrip("\\")
        # Only ever below the prefix's own drive C: (its drive Z: is /).
        if not install_dir.startswith("C:\\") or self.install.resolve().parent != drive_c.resolve():
            raise ValueError(f"installation folder {install_dir!r} is not a folder of C:\\")
        self.install.mkdir()
        if bin_folder:
            (self.install / "bin").mkdir()
            if generator:
                shutil.copy(self.fixtures / "stand_in_keygen.exe", self.install / "bin" / "rndc-confgen.exe")
            if mode:
                (self.install / "bin" / "stand_in_mode").write_text(mode)
        for name, files in [("etc", etc)] + sorted(backups.items()):
            if files is not None:
                write_tree(self.install / name, files)

    def folders(self):
        """Every folder of the installation folder but bin, with its tree."""
        return {entry.name: read_tree(entry) for entry in sorted(self.install.iterdir())
                if entry.is_dir() and entry.name != "bin"}

    def generator_seconds(self, since):
        """From `since` to the end the stand-in generator recorded."""
        for line in (self.install / "bin" / "stand_in_record.txt").read_text().splitlines():
            if line.startswith("finished "):
                return int(line.split()[1]) / 1000 - since
        return None

    # The executable -----------------------------------------------------

    def run(self, words, proxy_port, folder):
        """Runs zephrane.exe with the words, noting when each piece of its
        standard output arrived."""
        env = dict(self.env, http_proxy=f"http://127.0.0.1:{proxy_port}")
        with tempfile.TemporaryFile() as err:
            begin = time.time()
            process = subprocess.Popen(self.runner + [str(self.zephrane)] + list(words), env=env, cwd=folder,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err)
            stdout, arrivals = b"", []
            with process.stdout:
                # Until the process has ended and its output is drained (not
                # until the pipe closes, see wine()).
                while True:
                    if time.time() - begin > RUN_DEADLINE:
                        process.kill()
                    readable, _, _ = select.select([process.stdout], [], [], 0.02)
                    chunk = os.read(process.stdout.fileno(), 65536) if readable else b""
                    if chunk:
                        stdout += chunk
                        arrivals.append((time.time(), stdout.decode("latin-1")))
                    elif readable or process.poll() is not None:
                        break
            status = process.wait()
            seconds = time.time() - begin
            err.seek(0)
            return Run(stdout, err.read(), status, begin, seconds, arrivals)


DIRECTORY = object()  # a folder in a tree


def write_tree(root, files):
    root.mkdir(parents=True, exist_ok=True)
    for name, content in files.items():
        if content is DIRECTORY:
            (root / name).mkdir()
        else:
            (root / name).write_bytes(content)


def read_tree(root):
    return {entry.name: DIRECTORY if entry.is_dir() else entry.read_bytes() for entry in sorted(root.iterdir())}
