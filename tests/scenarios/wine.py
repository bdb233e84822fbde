"""The scenario table against zephrane.exe in a fresh Wine prefix of its own
(wine_machine.py): InstallDir and the services named and Dnscache (our test
service) as a row asks, the installation folder C:\\ISC BIND\\ with the
stand-in key generator, and the root hints server as the proxy. Then what
only the Windows build shows: the access rules of the secret files read
back, a link planted where named.conf belongs, and the console on a terminal.
Usage: wine.py --zephrane EXE --fixtures DIR --runner tests/wine/run --prefix DIR [--only TEXT]"""
import argparse
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import tty

import table
from wine_machine import Machine

from sandbox import ROOT_HINTS, HintsServer, free_port  # noqa: E402 (table put it on the path)

INSTALL_DIR = "C:\\ISC BIND\\"
MISSING_DIR = "C:\\ISC BIND-missing\\"
# InstallDir by view of the registry.
REGISTRY = {
    "install": {"64": ("REG_SZ", INSTALL_DIR)},
    "bare": {"64": ("REG_SZ", INSTALL_DIR[:-1])},
    "doubled": {"64": ("REG_SZ", INSTALL_DIR + "\\")},
    "nul": {"64": ("REG_SZ_NUL", INSTALL_DIR + "\0\\elsewhere\\")},
    "absent-key": {},
    "absent-value": {"64": ()},
    "empty": {"64": ("REG_SZ", "")},
    "relative": {"64": ("REG_SZ", "ISC BIND\\")},
    "missing-folder": {"64": ("REG_SZ", MISSING_DIR)},
    "wrong-type": {"64": ("REG_DWORD", "1")},
    "expand": {"64": ("REG_EXPAND_SZ", INSTALL_DIR)},
    "expand-variable": {"64": ("REG_EXPAND_SZ", "%SystemDrive%\\ISC BIND\\")},
    "view32": {"32": ("REG_SZ", INSTALL_DIR)},
    "both-views": {"64": ("REG_SZ", INSTALL_DIR), "32": ("REG_SZ", MISSING_DIR)},
}
# What this driver sets up, and why not the rest.
SUPPORTED = {
    "install": ({"normal"}, "unusual folder names and protection are rows of the POSIX build"),
    "bin": ({"normal", "missing", "file"}, "Windows does not check who may change bin"),
    "generator": ({"key", "missing", "no-key", "invisible-key", "conf-folder"},
                  "a case of the POSIX build or of the fault suites"),
    "etc": ({"old", "none", "file"}, "a case of the fault suites"),
    "lock": ({"free"}, "the lock's wait is a case of the fault suites"),
    "full": ({None}, "a full disk is a case of the fault suites"),
}
SERVICE_NAMES = {"named": "named", "dnscache": "Dnscache"}
SECRETS = ("rndc.conf", "named.conf")
CURSOR = re.compile(rb"\x1b\[\?25[lh]")  # Wine's console hides the cursor while it writes
CLOCK = time.gmtime  # the prefix runs in UTC


class WineDriver:
    def __init__(self, args):
        self.zephrane = str(os.path.abspath(args.zephrane))
        self.machine = Machine(args.runner, args.prefix, args.fixtures)
        with open(ROOT_HINTS, "rb") as f:
            self.hints = f.read()

    def __enter__(self):
        self.work = tempfile.mkdtemp(prefix="zephrane-wine-")
        self.server = HintsServer(self.work)
        self.server.named_runs = self.machine.marker("named").exists
        self.machine.create()
        ansi, self.oem = (int(word) for word in self.machine.admin("codepages").split()[1::2])
        print(f"prefix {self.machine.prefix}: ANSI code page {ansi}, OEM code page {self.oem}")
        return self

    def __exit__(self, *exception):
        self.server.stop()
        self.machine.shutdown()
        shutil.rmtree(self.work, ignore_errors=True)

    def unsupported(self, row):
        for key, (values, reason) in SUPPORTED.items():
            if row[key] not in values:
                return f"{key} {row[key]}: {reason}"
        for key in SERVICE_NAMES:
            if row[key] and (row[key][0] == "unknown" or table.behaviour(row[key]) == "refuses-config"):
                return "the test service answers every query and takes every configuration"
        if row["registry"] not in REGISTRY or not row["service_manager"]:
            return "a case of the POSIX build"
        return None

    def set_up(self, row):
        machine = self.machine
        machine.set_registry(REGISTRY[row["registry"]])
        for key, name in SERVICE_NAMES.items():
            entry = row[key]
            machine.set_service(name, entry and (table.behaviour(entry), entry[1], entry[0]))
        install = machine.set_install(INSTALL_DIR)
        if row["bin"] == "normal" and row["generator"] != "missing":
            shutil.copy(machine.fixtures / "stand_in_keygen.exe", install / "bin" / "rndc-confgen.exe")
        if row["generator"] not in ("key", "missing"):
            (install / "bin" / "stand_in_mode").write_text(row["generator"])
        if row["bin"] != "normal":
            shutil.rmtree(install / "bin")
        if row["bin"] == "file":
            (install / "bin").write_bytes(b"")
        return install, table.plant(row, install, CLOCK)

    def run(self, row, at_key=None):
        """Runs the tool on the row's machine; `at_key()` runs while the
        stand-in generator waits with its key written."""
        install, planted = self.set_up(row)
        self.server.answer(*["root-hints" if a == "hints" else a for a in row["server"]])
        proxy = f"http://127.0.0.1:{free_port()}" if row["server"] == ["refused"] else self.server.proxy
        gate = install / "bin" / "stand_in_waiting"

        def waiting():
            if at_key and gate.exists() and not (install / "bin" / "stand_in_gate").exists():
                at_key(install)
                (install / "bin" / "stand_in_gate").touch()

        begin = time.time()
        stdout, stderr, status = self.machine.finish(
            *self.machine.start([self.zephrane, *row["words"]], env=dict(self.machine.env, http_proxy=proxy),
                                cwd=self.work), waiting)
        states = self.machine.service_states()
        outcome = table.Outcome(stdout, stderr, status, table.read_tree(install),
                                {key: states[name] for key, name in SERVICE_NAMES.items()}, self.server.requests(),
                                table.stamps(begin, time.time(), CLOCK))
        # The folder as the tool reads it: the first view's value up to a NUL, with a separator.
        value = next((v[1] for v in REGISTRY[row["registry"]].values() if v), "").split("\0")[0]
        ctx = table.Context(line_end=b"\r\n", generator="rndc-confgen.exe", exe="zephrane.exe",
                            install_dir=value + "\\" * (not value.endswith("\\")), separator="\\",
                            key_lines=table.STAND_IN_KEY, hints=self.hints, codec=f"cp{self.oem}",
                            encode=lambda line: line.encode("cp1252"))
        return outcome, ctx, planted

    def own_checks(self):
        return [("access rules read back after a configuration", self.access_rules),
                ("a link where named.conf belongs", self.link_in_etc),
                ("the console on a terminal", self.terminal)]

    def row(self, name, **changes):
        return {**next(row for row in table.rows() if row["name"] == name), **changes}

    def access_rules(self, checks):
        """Nobody but administrators (and named) may read the secret files.
        Wine keeps a DACL only as Unix permission bits and reads back one
        made from them, so only "Everyone and Users have no entry" can hold."""
        outcome, _, _ = self.run(self.row("typical: start, named running"))
        if not checks.check("configured", b"CONFIGURATION SUCCEEDED" in outcome.stdout, repr(outcome.stdout)):
            return
        for name in ("", *SECRETS):
            path = INSTALL_DIR + "etc" + (f"\\{name}" if name else "")
            sddl = self.machine.admin("dacl", path).strip()
            print(f"  DACL of {path}: {sddl}")
            if name:
                trustees = re.findall(r"\((?:[^;)]*;){5}([^)]*)\)", sddl)
                checks.check(f"{name}: a DACL", sddl.startswith("D:") and trustees, f"  {sddl}")
                checks.equal(f"{name}: entries for Everyone or Users", [t for t in trustees if t in ("WD", "BU",
                                                                                                      "S-1-1-0")], [])

    def link_in_etc(self, checks):
        """A Unix link where named.conf belongs, planted while the generator
        runs: refused, and its target is left as it was. Wine reports a link
        to a file as a plain file, so only CREATE_NEW keeps it out."""
        target = self.machine.prefix / "drive_c" / "elsewhere.conf"
        target.write_bytes(b"not for the tool\r\n")
        row = self.row("a folder where rndc.conf belongs", generator="gate")
        outcome, ctx, _ = self.run(row, at_key=lambda install: os.symlink(target, install / "etc" / "named.conf"))
        lines = row["stdout"]
        at = lines.index("rndc.conf not written!")
        lines = lines[:at] + ["Writing named.conf ...", "named.conf not written!"] + lines[at + 1:]
        checks.equal("standard output", outcome.stdout, table.text(table.BANNER + lines, ctx))
        checks.equal("the link", outcome.tree["etc"].get("named.conf"), "<not a file>")
        checks.equal("its target", target.read_bytes(), b"not for the tool\r\n")

    def terminal(self, checks):
        """Standard output on a terminal holds the bytes it holds on a pipe
        (their CR LF included: the terminal is raw, so that its line
        discipline adds no CR of its own), besides the cursor hiding that
        Wine's console puts around each line it writes."""
        for words in (["help"], ["-config"]):
            piped = self.machine.wine(self.zephrane, *words)[0]
            shown = self.on_terminal(self.machine.runner + [self.zephrane, *words])
            print(f"  {' '.join(words)} on a terminal: {shown!r}")
            checks.equal(f"{' '.join(words)}: on a terminal as on a pipe", CURSOR.sub(b"", shown), piped)

    def on_terminal(self, command):
        master, slave = pty.openpty()
        tty.setraw(slave)
        with subprocess.Popen(command, env=self.machine.env, stdin=subprocess.DEVNULL, stdout=slave,
                              stderr=subprocess.DEVNULL):
            os.close(slave)
            shown = b""
            while select.select([master], [], [], 60)[0]:
                try:
                    chunk = os.read(master, 4096)
                except OSError:  # the terminal's last writer has gone
                    break
                if not chunk:
                    break
                shown += chunk
        os.close(master)
        return shown


def main():
    parser = argparse.ArgumentParser()
    for name in ("--zephrane", "--fixtures", "--runner", "--prefix"):
        parser.add_argument(name, required=True)
    parser.add_argument("--only", default="", help="run only the rows whose name holds this text")
    args = parser.parse_args()
    return table.run_table(WineDriver(args), args.only)


if __name__ == "__main__":
    sys.exit(main())
