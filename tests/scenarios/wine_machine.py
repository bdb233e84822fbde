"""The Windows machine of the Wine driver: a fresh Wine prefix of its own,
kept alive by an idle program, with the registry value InstallDir, the
services "named" and "Dnscache" (our test service, tests/fixtures) and an
installation folder under C:\\. Each set-up changes only what differs from
the row before, as a program run under Wine costs a tenth of a second."""
import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from sandbox import windows_path

BIND_KEY = "HKLM\\Software\\ISC\\BIND"
SERVICES = ("named", "Dnscache")
RUN_DEADLINE = 120  # seconds for one program run under Wine


class Machine:
    def __init__(self, runner, prefix, fixtures):
        self.prefix = Path(prefix).absolute()
        self.runner = [str(Path(runner).absolute()), str(self.prefix)]
        self.fixtures = Path(fixtures).absolute()
        self.install = self.idle = self.registry = None
        self.services = {}  # registered name -> what it is known to be (None: not known)
        # Local time in UTC and a fixed locale, so that time stamps and code
        # pages are the same on every machine.
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith("LC_") and k.lower() not in ("no_proxy", "http_proxy", "language")}
        self.env.update(TZ="UTC", LANG="C.UTF-8")

    def start(self, words, **options):
        """Starts a program in the prefix with its output to files, not pipes:
        a Wine program may leave a daemon of the prefix behind that holds on
        to its output, and a pipe would never end."""
        out, err = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        process = subprocess.Popen(self.runner + list(words), **{"env": self.env, **options},
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        return process, out, err

    @staticmethod
    def finish(process, out, err, waiting=lambda: None):
        """(stdout, stderr, status) once the program ends; `waiting` is called meanwhile."""
        deadline = time.monotonic() + RUN_DEADLINE
        while process.poll() is None:
            waiting()
            if time.monotonic() > deadline:
                process.kill()
            time.sleep(0.01)
        with out, err:
            out.seek(0)
            err.seek(0)
            return out.read(), err.read(), process.returncode

    def wine(self, *words, check=True, **options):
        stdout, stderr, status = self.finish(*self.start(words, **options))
        if check and status != 0:
            raise RuntimeError(f"{' '.join(words)}: exit status {status}\n{stdout!r}{stderr!r}")
        return stdout, stderr, status

    def admin(self, *words):
        return self.wine(str(self.fixtures / "service_admin.exe"), *words)[0].decode("latin-1")

    def create(self):
        """A new prefix (the runner makes it on first use), kept alive by an
        idle program of ours, with the two services registered."""
        self.end_programs()  # of an earlier run that was cut short
        shutil.rmtree(self.prefix, ignore_errors=True)
        Path(str(self.prefix) + ".lock").unlink(missing_ok=True)
        self.wine("cmd", "/c", "exit")
        self.idle = subprocess.Popen(self.runner + [str(self.fixtures / "idle.exe"), "1800"], env=self.env,
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
        for name in SERVICES:  # a service ended so cannot remove its marker
            self.marker(name).unlink(missing_ok=True)

    def marker(self, service):
        """The file the test service keeps while it runs."""
        return self.fixtures / f"{service}.running"

    def set_registry(self, views):
        """views: {"64" or "32": None (no key), () (key without value) or
        (type, data)}; a view not named has no key. Type "REG_SZ_NUL" is a
        string that holds a NUL, which only an import can store."""
        if views == self.registry:
            return
        for view in ("64", "32"):
            self.wine("reg", "delete", "HKLM\\Software\\ISC", "/f", f"/reg:{view}", check=False)
        for view, value in views.items():
            if value is None:
                continue
            self.wine("reg", "add", BIND_KEY, "/f", f"/reg:{view}")
            if value and value[0] == "REG_SZ_NUL":
                self.import_string(value[1], view)
            elif value:
                kind, data = value
                self.wine("reg", "add", BIND_KEY, "/v", "InstallDir", "/t", kind, "/d", data, "/f", f"/reg:{view}")
                stored = self.wine("reg", "query", BIND_KEY, "/v", "InstallDir", f"/reg:{view}")[0].decode("latin-1")
                if f"{kind}    {data}".rstrip() not in stored and kind != "REG_DWORD":
                    raise RuntimeError(f"InstallDir not stored as {kind} {data!r}: {stored!r}")
        self.registry = views

    def import_string(self, data, view):
        """InstallDir as a REG_SZ of exactly `data` (NULs included), through a
        registry file of the form regedit writes (UTF-16, with a BOM)."""
        raw = ",".join(f"{b:02x}" for b in (data + "\0").encode("utf-16-le"))
        text = (f"Windows Registry Editor Version 5.00\r\n\r\n[{BIND_KEY.replace('HKLM', 'HKEY_LOCAL_MACHINE')}]\r\n"
                f'"InstallDir"=hex(1):{raw}\r\n')
        (self.prefix / "drive_c" / "value.reg").write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
        self.wine("reg", "import", "C:\\value.reg", f"/reg:{view}")

    def register(self, name):
        command = f'"{windows_path(self.fixtures / "test_service.exe")}" normal'
        self.wine("sc", "create", name, "binPath=", command, "start=", "demand")
        self.services[name] = None

    def set_service(self, name, wanted):
        """wanted: None (not registered) or (behaviour, start type, state)."""
        if wanted is None:
            if name in self.services:
                self.admin("remove", name)
                del self.services[name]
            return
        if name not in self.services:
            self.register(name)
        if self.services[name] != wanted:
            behaviour, start_type, state = wanted
            self.admin("prepare", name, behaviour, str(start_type), state)
            self.services[name] = wanted

    def service_states(self):
        """{name: (state, start type) or None} as the Service Control Manager
        reports them, noted so that the next set-up changes only what differs."""
        states = {}
        for line in self.admin("query", *SERVICES).splitlines():
            name, state, start_type = line.split()
            states[name] = None if state == "-1" else (int(state), int(start_type))
            if self.services.get(name) is not None:
                settled = {1: "stopped", 4: "running"}.get(int(state))
                self.services[name] = (self.services[name][0], int(start_type), settled) if settled else None
        return states

    def set_install(self, install_dir):
        """An empty installation folder install_dir ("C:\\...\\") with an empty bin: its path here."""
        if self.install is not None:
            shutil.rmtree(self.install)
        self.install = self.prefix / "drive_c" / install_dir[3:].rstrip("\\")
        # Only ever below the prefix's own drive C: (its drive Z: is /).
        assert install_dir.startswith("C:\\") and self.install.resolve().parent == (self.prefix / "drive_c").resolve()
        (self.install / "bin").mkdir(parents=True)
        return self.install
