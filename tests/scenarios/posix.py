"""The scenario table against the POSIX executable on this machine: for each
row an installation folder and registry of its own, a folder of root's
beside it, the stand-in key generator, the systemctl stand-in for named and
systemd-resolved, and the root hints server as the proxy. A row with a fault
has its folder in a small tmpfs of its own, mounted in this suite's own
mount namespace (so nothing outlives it): it needs root.
Usage: posix.py <zephrane> <stand-in key generator> [--only TEXT]"""
import glob
import itertools
import os
import shutil
import signal
import stat
import subprocess
import sys
import time

import table

from sandbox import ROOT_HINTS, HintsServer, Installation, Sandbox, free_port, write  # noqa: E402 (on table's path)

FOLDER_NAMES = {"normal": "ISC BIND", "unprotected": "ISC BIND", "above-unprotected": "ISC BIND", "quote": 'ISC "BIND"', "tab": "ISC\tBIND",
                "cp1252": os.fsdecode(b"B\xfcro \xc4nderung \x80"), "utf8": "Büro €", "long": "b" * 255}
ACTIVE = {"running": "active", "stopped": "inactive", "start-pending": "activating",
          "stop-pending": "deactivating\ndeactivating\ninactive"}
STATES = {"active": 4, "inactive": 1, "activating": 2, "failed": 1}
UNITS = {"named": "named", "dnscache": "systemd-resolved"}
UNSUPPORTED = {"registry": {"expand", "expand-variable", "view32", "both-views"}, "lock": {"left"},
               "proxy": {"winhttp"}, "fault": {"etc-held-2s", "backup-held-2s", "etc-held-15s"}}


def run(*words):
    subprocess.run(words, check=True)


def beside(bind, *name):
    """A path in the folder that holds the installation (a file system of
    its own where the row has a fault)."""
    return os.path.join(os.path.dirname(bind.folder), *name)


def inodes_used_up(bind):
    os.mkdir(beside(bind, "filler"))
    for i in range(os.statvfs(bind.folder).f_ffree):
        write(beside(bind, "filler", str(i)))


def no_block_left(bind):
    """All space taken: rndc.conf gets the key's block once it is deleted,
    named.conf none."""
    disk = os.statvfs(bind.folder)
    with open(beside(bind, "filler"), "wb") as f:
        os.posix_fallocate(f.fileno(), 0, disk.f_bavail * disk.f_bsize)


# The faults a row may name: (when, change), before the run or while the
# stand-in generator waits with its key written.
FAULTS = {
    "no-inode": ("before", inodes_used_up),  # a rename needs none, a new folder does
    "immutable-key": ("at_key", lambda bind: run("chattr", "+i", bind.path("etc", "rndc.key"))),
    # /dev/null's device, which swallows what is written to it
    "device-where-rndc.conf": ("at_key", lambda bind: os.mknod(bind.path("etc", "rndc.conf"),
                                                                0o666 | stat.S_IFCHR, os.makedev(1, 3))),
    "link-where-named.conf": ("at_key", lambda bind: os.symlink(table.LINK, bind.path("etc", "named.conf"))),
    "etc-swapped-for-link": ("at_key", lambda bind: (os.rename(bind.path("etc"), bind.path("etc.moved")),
                                                      os.symlink(os.path.join("..", "outside"), bind.path("etc")))),
    # A write that ends short, without an error (RLIMIT_FSIZE cuts it at 2 KiB): the disk is full.
    "file-size-limit": ("before", lambda bind: setattr(bind, "command", ["prlimit", "--fsize=2048", *bind.command])),
    "no-block-left-at-key": ("at_key", no_block_left),
    "immutable-etc-at-key": ("at_key", lambda bind: run("chattr", "+i", bind.path("etc"))),
    "file-where-etc-at-key": ("at_key", lambda bind: (os.rename(bind.path("etc"), bind.path("etc.moved")),
                                                      write(bind.path("etc"), table.ETC_FILE))),
    # The disk stops writing at the tool's n-th fsync: strace fails it and every later one with EIO, after the
    # change each was to make durable (LeakSanitizer cannot run under ptrace).
    **{f"disk-fails-at-sync-{n}": ("before", lambda bind, n=n: (
        setattr(bind, "command", ["strace", "-qq", "-o", "/dev/null", "-e", f"inject=fsync:error=EIO:when={n}+",
                                  *bind.command]),
        bind.env.update(ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"))) for n in (1, 2, 9)},
}
# A clock 100 times as fast: the lock's wait (10 minutes) and the generator's deadline end within seconds.
FAST_CLOCK = sorted(glob.glob("/usr/lib/*/faketime/libfaketime.so.1"))


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
                return f"{key} {row[key]} is a case of Windows"
        if row["fault"] and os.geteuid() != 0:
            return "its fault needs root (mount, mknod, chattr)"
        if row["clock"] == "fast" and not FAST_CLOCK:
            return "a fast clock needs libfaketime (Debian's faketime)"
        if "paused" in (row["named"] or [None])[:1] + (row["dnscache"] or [None])[:1]:
            return "systemd pauses no units"
        if table.behaviour(row["named"]) == "unknown-account":
            return "a logon account is Windows'"
        return None

    def install(self, row):
        number = next(self.count)
        folder = os.path.join(self.sandbox.work, f"row{number}", FOLDER_NAMES[row["install"]])
        os.makedirs(os.path.dirname(folder))
        if row["fault"]:
            run("mount", "-t", "tmpfs", "-o", "size=1m,mode=0755" + ",nr_inodes=64" * (row["fault"] == "no-inode"),
                "faults", os.path.dirname(folder))
        os.mkdir(folder)
        value = {"install": folder + "/", "unprotected": folder + "/", "bare": folder, "doubled": folder + "//", "echoed": folder + "/\n",
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
        for path, wanted in ((bind.folder, row["install"] == "unprotected"), (bind.path("bin"), row["bin"] == "unprotected"),
                             (os.path.dirname(bind.folder), row["install"] == "above-unprotected"),
                             (os.path.join(bind.registry, "Software"), row["registry"] == "unprotected")):
            if wanted:
                os.chmod(path, 0o777)
        for name, content in table.OUTSIDE.items():
            write(beside(bind, "outside", name), content)
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
                      "protected": {"stop-exit": "1", "stop-leaves": "active"},
                      "fails-restart": {"start-exit": "1"},
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
        bind.server = server = HintsServer(bind.side)
        server.answer(*["root-hints" if a == "hints" else a for a in row["server"]])
        server.named_runs = lambda: self.services(bind)["named"][0] == 4
        bind.env["http_proxy"] = f"http://127.0.0.1:{free_port()}" if row["server"] == ["refused"] else server.proxy
        holder = row["lock"] == "taken" and self.hold_lock(bind)
        if row["clock"] == "fast":
            bind.env.update(LD_PRELOAD=FAST_CLOCK[0], FAKETIME="+0 x100",
                            ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
        when, change = FAULTS.get(row["fault"], (None, None))
        if when == "before":
            change(bind)
        begin = time.time()
        result = bind.run(row["words"], **({when: change} if when == "at_key" else {}))
        # A run with a fast clock reads it ahead of ours.
        speed = 100 if row["clock"] == "fast" else 1
        stamps = table.stamps(begin, begin + (time.time() - begin) * speed, time.localtime)
        if holder:
            os.killpg(holder.pid, signal.SIGKILL)
            holder.wait()
            server.gate.set()
        outcome = table.Outcome(result.stdout, result.stderr, result.status, table.read_tree(bind.folder),
                                self.services(bind), server.requests(), stamps,
                                table.read_tree(beside(bind, "outside"), 1))
        server.stop()
        if row["fault"]:
            subprocess.run(["umount", "--lazy", beside(bind)], check=False)
        install_dir = (value or "").split("\0")[0].rstrip("\n")
        install_dir += "/" * (not install_dir.endswith("/"))
        ctx = table.Context(line_end=b"\n", generator="rndc-confgen", exe="zephrane", install_dir=install_dir,
                            separator="/", key_lines=table.STAND_IN_KEY, hints=self.hints, encode=os.fsencode)
        return outcome, ctx, planted

    @staticmethod
    def hold_lock(bind):
        """Another run that holds the installation: held back in its first
        download, before it changes anything, and killed after the row's run."""
        bind.server.answer("gated")
        holder = subprocess.Popen([bind.sandbox.zephrane], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  env=dict(bind.env), cwd=bind.side, start_new_session=True)
        bind.server.waiting.wait(30)
        return holder

if __name__ == "__main__":
    if os.geteuid() == 0 and os.environ.get("ZEPHRANE_OWN_MOUNTS") != "1":  # a mount namespace of the suite's own
        os.environ["ZEPHRANE_OWN_MOUNTS"] = "1"
        os.execvp("unshare", ["unshare", "--mount", "--propagation", "private", sys.executable, *sys.argv])
    only = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--only" else ""
    sys.exit(table.run_table(PosixDriver(sys.argv[1], sys.argv[2]), only))
