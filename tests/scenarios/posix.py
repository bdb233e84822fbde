"""The scenario table against the POSIX executable on this machine: for each
row an installation folder and registry of its own, the stand-in key
generator, the systemctl stand-in for named and systemd-resolved, and the
root hints server as the proxy.
Usage: posix.py <zephrane> <stand-in key generator> [--only TEXT]"""
import itertools
import os
import shutil
import sys
import time

import table

sys.path.insert(0, os.path.join(os.path.dirname(table.HERE), "support"))
from sandbox import ROOT_HINTS, HintsServer, Installation, Sandbox, free_port, write  # noqa: E402

FOLDER_NAMES = {"normal": "ISC BIND", "unprotected": "ISC BIND", "quote": 'ISC "BIND"', "tab": "ISC\tBIND",
                "cp1252": os.fsdecode(b"B\xfcro \xc4nderung \x80"), "utf8": "Büro €", "long": "b" * 255}
ACTIVE = {"running": "active", "stopped": "inactive", "start-pending": "activating"}
STATES = {"active": 4, "inactive": 1, "activating": 2, "failed": 1}
UNITS = {"named": "named", "dnscache": "systemd-resolved"}
UNSUPPORTED = {"registry": {"expand", "expand-variable", "view32", "both-views"},
               "generator": {"half-key-killed", "undeletable-key"}, "etc": {"uncreatable"}}


class PosixDriver:
    parallel = 8  # each row has its own installation, services and server; most of a run is pauses

    def __init__(self, zephrane, stand_in):
        self.zephrane, self.stand_in = zephrane, os.path.abspath(stand_in)
        self.count = itertools.count()

    def __enter__(self):
        self.sandbox = Sandbox(self.zephrane)
        with open(ROOT_HINTS, "rb") as f:
            self.hints = f.read()
        return self

    def __exit__(self, *exception):
        self.sandbox.__exit__(*exception)

    def unsupported(self, row):
        for key, values in UNSUPPORTED.items():
            if row[key] in values:
                return f"{key} {row[key]} is a case of the fault suite or of Windows"
        if row["lock"] == "taken" or row["full"]:
            return "the lock's wait and a full disk are cases of the fault suite"
        if "paused" in (row["named"] or [None])[:1] + (row["dnscache"] or [None])[:1]:
            return "systemd pauses no units"
        return None

    def install(self, row):
        number = next(self.count)
        folder = os.path.join(self.sandbox.work, f"row{number}", FOLDER_NAMES[row["install"]])
        os.makedirs(folder)
        value = {"install": folder + "/", "bare": folder, "doubled": folder + "//", "echoed": folder + "/\n",
                 "nul": folder + "/\0/elsewhere/", "empty": "", "relative": "ISC BIND/",
                 "missing-folder": folder + "-missing/"}.get(row["registry"])
        bind = Installation(self.sandbox, f"side{number}", folder, self.stand_in, install_dir=value or "")
        key = os.path.join(bind.registry, "Software", "ISC", "BIND")
        if row["registry"] in ("absent-key", "absent-value", "wrong-type"):
            os.remove(os.path.join(key, "InstallDir"))
        if row["registry"] == "absent-key":
            os.rmdir(key)
            if not os.path.exists("/etc/zephrane/registry"):  # the build's own default: no key there either
                del bind.env["ZEPHRANE_REGISTRY"]
        if row["registry"] == "wrong-type":
            os.makedirs(os.path.join(key, "InstallDir"))  # a folder is no string value
        return bind, value

    def machine(self, row):
        bind, value = self.install(row)
        bind.generator_mode("" if row["generator"] in ("key", "not-executable", "missing") else row["generator"])
        if row["generator"] == "missing":
            os.remove(bind.generator)
        elif row["generator"] == "not-executable":
            os.chmod(bind.generator, 0o644)
        if row["bin"] in ("missing", "file"):
            shutil.rmtree(bind.path("bin"))
            if row["bin"] == "file":
                write(bind.path("bin"), b"")
        for path, wanted in ((bind.folder, row["install"]), (bind.path("bin"), row["bin"])):
            if wanted == "unprotected":
                os.chmod(path, 0o777)
        planted = table.plant(row, bind.folder, time.localtime)
        for key, unit in UNITS.items():
            self.service(bind, unit, row[key])
        if not row["service_manager"]:
            write(os.path.join(bind.services, "not-booted"), b"")
        return bind, value, planted

    @staticmethod
    def service(bind, unit, entry):
        if not entry:
            return
        files = {"active": ACTIVE.get(entry[0], "active"), "unit-file": "enabled" if entry[1] == 2 else "disabled"}
        files.update({"refuses-stop": {"stop-exit": "1", "stop-leaves": "active"}, "fails-start": {"start-exit": "1"},
                      "refuses-config": {"static": ""}}.get(table.behaviour(entry), {}))
        if entry[0] == "unknown":
            files["show-exit"] = "1"
        for name, content in files.items():
            write(os.path.join(bind.services, unit, name), content + "\n")

    @staticmethod
    def services(bind):
        found = {}
        for key, unit in UNITS.items():
            folder = os.path.join(bind.services, unit)
            if not os.path.isdir(folder):
                found[key] = None
                continue
            with open(os.path.join(folder, "active"), encoding="ascii") as f:
                active = f.readline().strip()
            with open(os.path.join(folder, "unit-file"), encoding="ascii") as f:
                start = 2 if f.readline().strip() == "enabled" else 3
            found[key] = (0 if os.path.exists(os.path.join(folder, "show-exit")) else STATES[active], start)
        return found

    def run(self, row):
        bind, value, planted = self.machine(row)
        server = HintsServer(bind.side)
        server.answer(*["root-hints" if a == "hints" else a for a in row["server"]])
        server.named_runs = lambda: self.services(bind)["named"][0] == 4
        bind.env["http_proxy"] = f"http://127.0.0.1:{free_port()}" if row["server"] == ["refused"] else server.proxy
        begin = time.time()
        result = bind.run(row["words"])
        stamps = table.stamps(begin, time.time(), time.localtime)
        outcome = table.Outcome(result.stdout, result.stderr, result.status, table.read_tree(bind.folder),
                                self.services(bind), server.requests(), stamps)
        server.stop()
        install_dir = (value or "").split("\0")[0].rstrip("\n")
        install_dir += "/" * (not install_dir.endswith("/"))
        ctx = table.Context(line_end=b"\n", generator="rndc-confgen", exe="zephrane", install_dir=install_dir,
                            separator="/", key_lines=table.STAND_IN_KEY, hints=self.hints, encode=os.fsencode)
        return outcome, ctx, planted


if __name__ == "__main__":
    only = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--only" else ""
    sys.exit(table.run_table(PosixDriver(sys.argv[1], sys.argv[2]), only))
