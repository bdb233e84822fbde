"""The scenario table against zephrane.exe in a fresh Wine prefix of its own, kept alive by an idle program:
InstallDir and the services named and Dnscache (our test service, tests/fixtures) as a row asks, the installation
folder C:\\ISC BIND\\ with the stand-in key generator and C:\\outside beside it, and the root hints server as the
proxy. Each set-up changes only what differs from the row before, as a program run under Wine costs a tenth of a
second. Then what only the Windows build shows: the access rules of the secret files read back, and the console on a
terminal.
Usage: wine.py <zephrane.exe> <fixtures folder> <tests/wine/run> <prefix> [--only TEXT]"""
import contextlib
import dataclasses
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import tty
from pathlib import Path

import table

from sandbox import ROOT_HINTS, HintsServer, free_port  # noqa: E402 (table put it on the path)

INSTALL_DIR = "C:\\ISC BIND\\"
MISSING_DIR = "C:\\ISC BIND-missing\\"
SZ, EXPAND_SZ, DWORD = 1, 2, 4  # registry value types
# InstallDir by view of the registry: () a key without the value, else (type, data).
REGISTRY = {name: {"64": (SZ, data)} for name, data in {
    "install": INSTALL_DIR, "bare": INSTALL_DIR[:-1], "doubled": INSTALL_DIR + "\\", "empty": "",
    "nul": INSTALL_DIR + "\0\\elsewhere\\", "relative": "ISC BIND\\", "missing-folder": MISSING_DIR}.items()}
REGISTRY.update({"absent-key": {}, "absent-value": {"64": ()}, "wrong-type": {"64": (DWORD, "1")},
                 "expand": {"64": (EXPAND_SZ, INSTALL_DIR)}, "view32": {"32": (SZ, INSTALL_DIR)},
                 "expand-variable": {"64": (EXPAND_SZ, "%SystemDrive%\\ISC BIND\\")},
                 "both-views": {"64": (SZ, INSTALL_DIR), "32": (SZ, MISSING_DIR)}})
# The key above BIND's by view: 32-bit programs see Software\Wow6432Node as Software.
ISC_KEYS = {"64": "HKEY_LOCAL_MACHINE\\Software\\ISC", "32": "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\ISC"}
# Faults where another process holds a folder of the installation (as a scanner does) for some seconds from the
# key on, while the run fails at named.conf: its undo must wait for it, or give up after about 10 s.
HELD = {"etc-held-2s": ("etc", 2000), "backup-held-2s": ("etc_*", 2000), "etc-held-15s": ("etc", 15000)}
# What this driver sets up, and why not the rest.
SUPPORTED = {"install": ({"normal", "unprotected", "above-unprotected"}, "unusual folder names are rows of the POSIX build"),
             "bin": ({"normal", "missing", "file", "unprotected"}, ""),
             "generator": ({"key", "missing", "no-key", "invisible-key", "conf-folder"}, "a case of the POSIX build"),
             "etc": ({"old", "none", "file"}, "a link in etc is a row of the POSIX build"),
             "lock": ({"free", "left"}, "the lock's wait of 10 minutes cannot be cut short under Wine"),
             "clock": ({"normal"}, "libfaketime does not reach Wine's programs"),
             "fault": ({None, "link-where-named.conf", "file-where-etc-at-key", *HELD},
                       "mounts, devices and file flags are the POSIX build's")}
SERVICE_NAMES = {"named": "named", "dnscache": "Dnscache"}
# What the DNS Client's rules grant administrators on Windows 10 1709 and later: to query it, start it, read its
# rules. Wine grants every right asked for; the rows of a "protected" Dnscache see what the tool asks for (traced).
PROTECTED_GRANTS = 0x1 | 0x4 | 0x8 | 0x10 | 0x80 | 0x20000
WINE_TRACE = re.compile(rb"^[0-9a-f]{4}:(trace|fixme|err|warn):.*\n", re.M)
CURSOR = re.compile(rb"\x1b\[\?25[lh]")  # Wine's console hides the cursor while it writes
CLOCK = time.gmtime  # the prefix runs in UTC
RUN_DEADLINE = 120  # seconds for one program run under Wine


class WineDriver:
    def __init__(self, zephrane, fixtures, runner, prefix):
        self.zephrane = os.path.abspath(zephrane)
        self.fixtures, self.prefix = Path(fixtures).absolute(), Path(prefix).absolute()
        self.runner = [str(Path(runner).absolute()), str(self.prefix)]
        self.install = self.prefix / "drive_c" / INSTALL_DIR[3:-1]
        self.outside = self.prefix / "drive_c" / "outside"
        self.idle = self.registry = None
        self.services = {}  # name -> what it is known to be: None (not registered) or (behaviour, start type, state)
        # Local time in UTC and a fixed locale, so that time stamps and code
        # pages are the same on every machine.
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith("LC_") and k.lower() not in ("no_proxy", "http_proxy", "language")}
        self.env.update(TZ="UTC", LANG="C.UTF-8")

    def __enter__(self):
        """A new prefix (the runner makes it on first use) with an idle program of ours: Wine ends a prefix's
        services as soon as no program of the prefix runs."""
        self.end_programs()  # of an earlier run that was cut short
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.idle = subprocess.Popen(self.runner + [str(self.fixtures / "idle.exe"), "1800"], env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.work = tempfile.mkdtemp(prefix="zephrane-wine-")
        self.server = HintsServer(self.work)
        self.server.named_runs = (self.fixtures / "named.running").exists
        self.admin("winhttp-proxy", self.server.proxy.removeprefix("http://"))  # as `netsh winhttp set proxy` sets it
        codepages = self.admin("codepages").strip()  # "ansi <number> oem <number>"
        print(f"prefix {self.prefix}: code pages {codepages}")
        self.ctx = table.Context(line_end=b"\r\n", generator="rndc-confgen.exe", exe="zephrane.exe",
                                 install_dir=INSTALL_DIR, separator="\\", key_lines=table.STAND_IN_KEY,
                                 hints=Path(ROOT_HINTS).read_bytes(), codec="cp" + codepages.split()[3],
                                 encode=lambda line: line.encode("cp1252"), anchors="managed-keys")
        return self

    def __exit__(self, *exception):
        self.server.stop()
        self.idle.kill()
        self.idle.wait()
        self.end_programs()
        shutil.rmtree(self.work, ignore_errors=True)

    def end_programs(self):
        """Ends every program of the prefix (ours: the services, the idle one)."""
        wine = os.environ.get("ZEPHRANE_WINE", "/usr/lib/wine/wine64")  # as tests/wine/run
        wineserver = shutil.which(wine.removesuffix("64") + "server64") or "wineserver"
        subprocess.run([wineserver, "-k"], env=dict(self.env, WINEPREFIX=str(self.prefix)), check=False)
        for name in SERVICE_NAMES.values():  # a service ended so cannot remove its marker
            for marker in (".running", ".running.once"):
                (self.fixtures / f"{name}{marker}").unlink(missing_ok=True)

    def wine(self, *words, check=True, **options):
        """(stdout, stderr, exit status or None past the deadline) of a program run in the prefix. Output goes to files:
        a daemon that a Wine program may leave behind holds on to it, and a pipe would never end."""
        status = None
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            with contextlib.suppress(subprocess.TimeoutExpired):
                status = subprocess.run(self.runner + list(words), **{"env": self.env, **options}, timeout=RUN_DEADLINE,
                                        stdin=subprocess.DEVNULL, stdout=out, stderr=err).returncode
            out.seek(0)
            err.seek(0)
            result = out.read(), err.read(), status
        if check and status != 0:
            raise RuntimeError(f"{' '.join(words)}: exit status {status}\n{result[0]!r}{result[1]!r}")
        return result

    def admin(self, *words):
        return self.wine(str(self.fixtures / "service_admin.exe"), *words)[0].decode("latin-1")

    def unsupported(self, row):
        for key, (values, reason) in SUPPORTED.items():
            if row[key] not in values:
                return f"{key} {row[key]}: {reason}"
        if any(row[key] and (row[key][0] == "unknown" or table.behaviour(row[key]) == "refuses-config")
               for key in SERVICE_NAMES):
            return "the test service answers every query and takes every configuration"
        if row["fault"] == "file-where-etc-at-key":
            return "Windows lets nobody move the etc a run holds (only the host can, under Wine)"
        return None if row["registry"] in REGISTRY and row["service_manager"] else "a case of the POSIX build"

    def set_registry(self, views):
        """InstallDir as `views` gives it, imported from a file: only an import stores a string that holds a NUL."""
        lines = ["\ufeffWindows Registry Editor Version 5.00", ""]  # as regedit writes it: UTF-16, with a BOM
        for view, key in ISC_KEYS.items():
            lines += [f"[-{key}]"] + [f"[{key}\\BIND]"] * (view in views)
            if views.get(view):
                kind, data = views[view]
                raw = int(data).to_bytes(4, "little") if kind == DWORD else (data + "\0").encode("utf-16-le")
                lines.append(f'"InstallDir"=hex({kind}):' + ",".join(f"{b:02x}" for b in raw))
        (self.prefix / "drive_c" / "value.reg").write_bytes("\r\n".join(lines + [""]).encode("utf-16-le"))
        self.wine("reg", "import", "C:\\value.reg")
        self.registry = views

    def set_services(self, row):
        """The row's services, with one program run for what differs from what they are known to be."""
        wanted = {name: row[key] and (table.behaviour(row[key]), row[key][1], row[key][0])
                  for key, name in SERVICE_NAMES.items()}
        changes = [(name, *(entry or ("normal", 3, "absent"))) for name, entry in wanted.items()
                   if self.services.get(name, "unknown") != entry]
        if changes:
            self.admin("prepare", *(str(word) for change in changes for word in change))
        self.services.update(wanted)

    def service_states(self):
        """{row key: (state, start type) or None} as the Service Control Manager reports them; noted for set-ups."""
        states = {}
        for line in self.admin("query", *SERVICE_NAMES.values()).splitlines():
            name, state, start_type = line.split()
            states[name] = None if state == "-1" else (int(state), int(start_type))
            settled = {"1": "stopped", "4": "running"}.get(state)
            if settled and self.services.get(name):
                self.services[name] = (self.services[name][0], int(start_type), settled)
            elif state != "-1":
                self.services.pop(name, None)
        return {key: states[name] for key, name in SERVICE_NAMES.items()}

    def run(self, row):
        """Runs the tool on the row's machine."""
        if REGISTRY[row["registry"]] != self.registry:
            self.set_registry(REGISTRY[row["registry"]])
        self.set_services(row)
        install, bin_ = self.install, self.install / "bin"
        shutil.rmtree(install, ignore_errors=True)
        install.mkdir(parents=True)
        if row["bin"] == "file":
            bin_.write_bytes(b"")
        elif row["bin"] in ("normal", "unprotected"):
            bin_.mkdir()
            (bin_ / "stand_in_mode").write_text(row["generator"])
            if row["generator"] != "missing":
                shutil.copy(self.fixtures / "stand_in_keygen.exe", bin_ / "rndc-confgen.exe")
        planted = table.plant(row, install, CLOCK)
        # An earlier run's lock. One deleted on close that a scanner looks at meanwhile stays "delete pending" after the
        # run on Windows, which then refuses every run; Wine opens it again: only that it stays can be seen.
        if row["lock"] == "left":
            (install / "zephrane.lock").write_bytes(b"")
        self.outside.mkdir(exist_ok=True)
        for name, content in table.OUTSIDE.items():
            (self.outside / name).write_bytes(content)
        if row["fault"] in ("link-where-named.conf", "file-where-etc-at-key", *HELD):
            (bin_ / "stand_in_mode").write_text("gate")
            threading.Thread(target=self.plant, args=(row["fault"],), daemon=True).start()
        # Wine turns others' write permission into write for Everyone in the access rules it reports.
        for path, wanted in ((install, row["install"] == "unprotected"), (bin_, row["bin"] == "unprotected"),
                             (install.parent, row["install"] == "above-unprotected")):
            if path.exists():
                path.chmod(0o777 if wanted else 0o755)
        self.server.answer(*["root-hints" if a == "hints" else a for a in row["server"]])
        proxy = f"http://127.0.0.1:{free_port()}" if row["server"] == ["refused"] else self.server.proxy
        # A SYSTEM task's Internet settings name no proxy; the machine's WinHTTP proxy is always there.
        env = dict(self.env, WINEDEBUG="-all,+service", **({} if row["proxy"] == "winhttp" else {"http_proxy": proxy}))
        begin = time.time()
        stdout, stderr, status = self.wine(self.zephrane, *row["words"], check=False, cwd=self.work, env=env)
        asked = {int(m, 16) for m in re.findall(rb'OpenServiceW \S+ L"Dnscache" (0x[0-9a-f]+)', stderr)}
        stderr = WINE_TRACE.sub(b"", stderr)
        if table.behaviour(row["dnscache"]) == "protected" and b"DNS cache not" not in stdout:  # a switch that worked
            stderr += b"".join(b"asked the DNS Client for 0x%x, which Windows refuses\n" % a
                               for a in sorted(asked) if a & ~PROTECTED_GRANTS)
        tree = table.read_tree(install)
        if "zephrane.lock" not in row["leaves"]:  # it stays after every run that took it
            tree.pop("zephrane.lock", None)
        outcome = table.Outcome(stdout, stderr, status, tree, self.service_states(),
                                self.server.requests(), table.stamps(begin, time.time(), CLOCK),
                                table.read_tree(self.outside, 1))
        # The folder as the tool reads it: the first view's value up to a NUL, with a separator.
        value = next((v[1] for v in REGISTRY[row["registry"]].values() if v), "").split("\0")[0]
        return outcome, dataclasses.replace(self.ctx, install_dir=value + "\\" * (not value.endswith("\\"))), planted

    def own_checks(self):
        return [("access rules read back after a configuration", self.access_rules),
                ("the console on a terminal", self.terminal)]

    def row(self, name, **changes):
        return {**next(row for row in table.rows() if row["name"] == name), **changes}

    def access_rules(self, checks):
        """Nobody but administrators (and named) may read the secret files. Wine keeps a DACL only as Unix permission
        bits and reads back one made from them, so only "Everyone and Users have no entry" can hold."""
        outcome, _, _ = self.run(self.row("typical: start, named running"))
        if checks.check("configured", b"CONFIGURATION SUCCEEDED" in outcome.stdout, repr(outcome.stdout)):
            for name in ("rndc.conf", "named.conf"):
                sddl = self.admin("dacl", f"{INSTALL_DIR}etc\\{name}").strip()
                print(f"  DACL of {name}: {sddl}")
                checks.check(f"{name}: a DACL", re.fullmatch(r"D:[A-Z]*(\([^)]*\))+", sddl), f"  {sddl}")
                checks.equal(f"{name}: entries for Everyone or Users", re.findall(r";(WD|BU|S-1-1-0)\)", sddl), [])

    def plant(self, fault):
        """While the stand-in generator waits with its key written: a Unix link where named.conf belongs (Wine reports
        a link to a file as a plain file, so only CREATE_NEW keeps it out), also with a folder held by another
        program, or etc moved aside and a file in its place (the held etc is no obstacle to the host)."""
        bin_, etc = self.install / "bin", self.install / "etc"
        for _ in range(6000):  # the generator waits 60 s at most
            if (bin_ / "stand_in_waiting").exists():
                if fault in HELD:  # by another program of the prefix
                    held = INSTALL_DIR + next(self.install.glob(HELD[fault][0])).name
                    holder = subprocess.Popen(self.runner + [str(self.fixtures / "service_admin.exe"), "hold", held,
                                                             str(HELD[fault][1])],
                                              env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
                    holder.stdout.readline()  # "held"; it ends by itself
                if fault == "link-where-named.conf" or fault in HELD:
                    os.symlink(table.LINK, etc / "named.conf")
                else:
                    etc.rename(self.install / "etc.moved")
                    etc.write_bytes(table.ETC_FILE)
                (bin_ / "stand_in_gate").touch()
                return
            time.sleep(0.01)

    def terminal(self, checks):
        """Standard output on a terminal holds the bytes it holds on a pipe (their CR LF included: the terminal is
        raw, so that its line discipline adds no CR of its own), besides the cursor hiding that Wine's console puts
        around each line it writes."""
        for words in (["help"], ["-config"]):
            master, slave = pty.openpty()
            tty.setraw(slave)
            with subprocess.Popen(self.runner + [self.zephrane, *words], env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=slave, stderr=subprocess.DEVNULL):
                os.close(slave)
                shown = b""
                with contextlib.suppress(OSError):  # EIO: the terminal's last writer has gone
                    while select.select([master], [], [], 60)[0] and (chunk := os.read(master, 4096)):
                        shown += chunk
            os.close(master)
            print(f"  {' '.join(words)} on a terminal: {shown!r}")
            checks.equal(f"{' '.join(words)}: on a terminal as on a pipe", CURSOR.sub(b"", shown),
                         self.wine(self.zephrane, *words)[0])


if __name__ == "__main__":
    only = sys.argv[6] if len(sys.argv) > 6 and sys.argv[5] == "--only" else ""
    sys.exit(table.run_table(WineDriver(*sys.argv[1:5]), only))
