"""The Windows machine of the suite: a fresh Wine prefix of its own with BIND's
registry value, the services "named" and "Dnscache" (our test service) and an
installation folder under C:\\."""
import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from sandbox import Result, windows_path

BIND_KEY = "HKLM\\Software\\ISC\\BIND"
SERVICES = ("named", "Dnscache")
RUN_DEADLINE = 120  # seconds for one program run under Wine
DIRECTORY = object()  # a folder in a tree


class Machine:
    def __init__(self, runner, prefix, fixtures, zephrane):
        self.prefix = Path(prefix).absolute()
        self.runner = [str(Path(runner).absolute()), str(self.prefix)]
        self.fixtures = Path(fixtures).absolute()
        self.zephrane = str(Path(zephrane).absolute())
        self.install = self.idle = self.registry = None
        self.services = {}  # registered name -> what it is known to be (None: not known)
        # Local time in UTC and a fixed locale, so that time stamps and code
        # pages are the same on every machine.
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith("LC_") and k.lower() not in ("no_proxy", "language")}
        self.env.update(TZ="UTC", LANG="C.UTF-8")

    def wine(self, *words, check=True, **options):
        """Runs a program in the prefix: (stdout, stderr, status). Files, not
        pipes: a Wine program may leave a daemon of the prefix behind that
        holds on to its output, and a pipe would never end."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            status = subprocess.run(self.runner + list(words), **{"env": self.env, **options},
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=RUN_DEADLINE).returncode
            out.seek(0)
            err.seek(0)
            stdout, stderr = out.read(), err.read()
        if check and status != 0:
            raise RuntimeError(f"{' '.join(words)}: exit status {status}\n{stdout!r}{stderr!r}")
        return stdout, stderr, status

    def admin(self, *words):
        return self.wine(str(self.fixtures / "service_admin.exe"), *words)[0].decode("latin-1")

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
            stored = self.wine("reg", "query", BIND_KEY, "/v", "InstallDir")[0].decode("latin-1")
            if f"{kind}    {data}".rstrip() not in stored and kind != "REG_DWORD":
                raise RuntimeError(f"InstallDir not stored as {kind} {data!r}: {stored!r}")
        self.registry = value

    def register(self, name):
        command = f'"{windows_path(self.fixtures / "test_service.exe")}" normal'
        self.wine("sc", "create", name, "binPath=", command, "start=", "demand")
        self.services[name] = None

    def set_service(self, name, wanted):
        """wanted: None (not registered) or (behaviour, start type, running)."""
        if wanted is None:
            if name in self.services:
                self.admin("remove", name)
                del self.services[name]
            return
        if name not in self.services:
            self.register(name)
        if self.services[name] != wanted:
            behaviour, start_type, running = wanted
            self.admin("prepare", name, behaviour, str(start_type), "running" if running else "stopped")
            self.services[name] = wanted

    def service_states(self):
        """{name: (state, start type)} as the Service Control Manager reports
        them, noted so that the next set-up changes only what differs."""
        states = {}
        for line in self.admin("query", *SERVICES).splitlines():
            name, state, start_type = line.split()
            states[name] = (int(state), int(start_type))
            if self.services.get(name) is not None:
                settled = int(state) in (1, 4)
                self.services[name] = (self.services[name][0], int(start_type), int(state) == 4) if settled else None
        return states

    def set_install(self, install_dir, generator, mode, etc, backups):
        """The installation folder install_dir ("C:\\...\\"): bin (with the
        stand-in as generator and its mode), etc and backups as trees."""
        if self.install is not None:
            shutil.rmtree(self.install)
        self.install = self.prefix / "drive_c" / install_dir[3:].rstrip("\\")
        # Only ever below the prefix's own drive C: (its drive Z: is /).
        assert install_dir.startswith("C:\\") and self.install.resolve().parent == (self.prefix / "drive_c").resolve()
        self.install.mkdir()
        (self.install / "bin").mkdir()
        if generator:
            shutil.copy(self.fixtures / "stand_in_keygen.exe", self.install / "bin" / "rndc-confgen.exe")
        if mode:
            (self.install / "bin" / "stand_in_mode").write_text(mode)
        for name, files in [("etc", etc)] + sorted(backups.items()):
            if files is not None:
                (self.install / name).mkdir()
                for entry, content in files.items():
                    if content is DIRECTORY:
                        (self.install / name / entry).mkdir()
                    else:
                        (self.install / name / entry).write_bytes(content)

    def folders(self):
        return {folder.name: {entry.name: DIRECTORY if entry.is_dir() else entry.read_bytes()
                              for entry in folder.iterdir()}
                for folder in self.install.iterdir() if folder.is_dir() and folder.name != "bin"}

    def generator_seconds(self):
        record = dict(line.split(" ", 1) for line in (self.install / "bin" / "stand_in_record.txt").read_text()
                      .splitlines())
        return (int(record["finished"]) - int(record["started"])) / 1000

    def run(self, words, proxy, cwd):
        begin = time.time()
        result = Result(*self.wine(self.zephrane, *words, check=False, env=dict(self.env, http_proxy=proxy), cwd=cwd))
        result.began, result.seconds = begin, time.time() - begin
        return result
