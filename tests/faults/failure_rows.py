#!/usr/bin/env python3
"""Every failure row of a configuration run, and a full disk or a refused
write on the generated files, with the real executable on a real file
system: each row's installation folder is a small tmpfs of its own, in a
mount namespace of this suite's own (so nothing outlives it).

After each row the previous etc must exist byte for byte, as etc or as a
backup etc_<time stamp>, and rndc.key only after "rndc.key not deleted!".
Needs root (mount, mknod, chattr); otherwise it reports itself skipped.
"""
import errno
import os
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass, field
from typing import Callable, Optional

from harness import SKIP, BACKUP_NAME, Bind, copies_of, key_files, snapshot, suite
from sandbox import BANNER, configured, encode, error_report, progress, write

BEFORE_1980 = 2 * 86400  # 1970, outside the DOS dates the file search reports
DISK_FULL = "E/A-Fehler 112"
ACCESS_DENIED = "Dateizugriff verweigert"


def private_mount_namespace():
    if os.geteuid() != 0:
        print("skipped: mounting, mknod and chattr need root")
        sys.exit(SKIP)
    if os.environ.get("ZEPHRANE_FAULTS_OWN_MOUNTS") != "1":
        os.environ["ZEPHRANE_FAULTS_OWN_MOUNTS"] = "1"
        os.execvp("unshare", ["unshare", "--mount", "--propagation", "private", sys.executable, *sys.argv])


def sh(*words):
    subprocess.run(words, check=True)


# Set-ups before the run.

def file_in_place_of(folder):
    def change(bind):
        shutil.rmtree(bind.path(folder))
        write(bind.path(folder), b"a file where a folder belongs\n")
    return change


def generator_from_1979(bind):
    os.remove(bind.generator)
    write(bind.generator, b"#!/bin/sh\n")
    when = time.mktime((1979, 12, 31, 12, 0, 0, 0, 0, -1))
    os.utime(bind.generator, (when, when))


def backup_names_taken(bind):
    """Backups of this second and the next minute exist, as after a run
    within the same second."""
    now = time.time()
    for second in range(-1, 60):
        os.mkdir(bind.path("etc_" + time.strftime("%Y%m%d%H%M%S", time.localtime(now + second))))


def inodes_used_up(bind):
    """No inode left: a rename needs none, a new folder does."""
    os.mkdir(bind.path("filler"))
    try:
        for i in range(100000):
            write(bind.path("filler", str(i)))
    except OSError as error:
        if error.errno != errno.ENOSPC:
            raise


# Changes while the generator waits (its key written) or while the server
# holds back the root hints.

def void_device(name):
    """`name` made a device that swallows what is written (as /dev/null does),
    dated so that the file search does not report it: the write succeeds, the
    file is not found afterwards."""
    def change(bind):
        os.mknod(bind.path("etc", name), 0o666 | 0o020000, os.makedev(1, 3))
        os.utime(bind.path("etc", name), (BEFORE_1980, BEFORE_1980))
    return change


def disk_full(leave_blocks, hold_key=False):
    """Fills the installation's file system but `leave_blocks` blocks. With
    `hold_key` a second name keeps the key's block taken after its deletion."""
    def change(bind):
        if hold_key:
            os.link(bind.path("etc", "rndc.key"), bind.path("held-key"))
        block = os.statvfs(bind.folder).f_bsize
        fd = os.open(bind.path("filler"), os.O_WRONLY | os.O_CREAT)
        size = 0
        try:
            while True:
                size += os.write(fd, b"\xff" * block)
        except OSError as error:
            if error.errno != errno.ENOSPC:
                raise
        os.ftruncate(fd, (-(-size // block) - leave_blocks) * block)
        os.close(fd)
        assert os.statvfs(bind.folder).f_bavail == leave_blocks
    return change


def read_only_mount(*parts):
    def change(bind):
        path = bind.path(*parts)
        if not os.path.exists(path):
            write(path)
        sh("mount", "--bind", path, path)
        sh("mount", "-o", "remount,ro,bind", path)
    return change


def immutable(name, create=False):
    def change(bind):
        if create:
            write(bind.path("etc", name))
        sh("chattr", "+i", bind.path("etc", name))
    return change


@dataclass
class Row:
    name: str
    printed: list  # the lines after the banner, up to the failure line
    kept_as: str  # where the previous etc is afterwards: "etc" or "backup"
    arrange: Optional[Callable] = None
    at_key: Optional[Callable] = None
    at_download: Optional[Callable] = None
    named: dict = field(default_factory=dict)  # the named unit's stand-in files
    mode: str = ""  # the generator stand-in's
    scenario: str = "root-hints"  # the root hints server's
    report: Optional[str] = None  # the message of the error report that ends the run
    key_left: bool = False
    absent: tuple = ()  # files of the new etc that must not exist
    mount: str = "size=1m,mode=0755"


def failed_at(last, failure, **steps):
    return progress(last, **steps) + [failure]


RUNNING = {"state": "active"}
STOPS = {"stop": True}

ROWS = [
    Row("Folder not found: InstallDir names no folder", ["Searching folder ...", "Folder not found!"], "etc",
        arrange=lambda bind: bind.set_install_dir(bind.path("missing") + "/")),
    Row("bin-folder not found: bin is a file",
        failed_at("Searching bin-folder ...", "bin-folder not found!"), "etc", arrange=file_in_place_of("bin")),
    Row("rndc-confgen not found: dated 1979",
        failed_at("Searching rndc-confgen ...", "rndc-confgen not found!"), "etc", arrange=generator_from_1979),
    Row("Service not stopped",
        failed_at("Stopping service ...", "Service not stopped!", **STOPS), "etc",
        named={**RUNNING, "stop_exit": "1", "stop_leaves": "active"}),
    Row("etc-folder not renamed: the backup name is taken",
        failed_at("Renaming etc-folder ...", "etc-folder not renamed!"), "etc", arrange=backup_names_taken),
    Row("etc-folder not created: no inode left",
        failed_at("Creating etc-folder ...", "etc-folder not created!"), "backup", arrange=inodes_used_up,
        mount="size=1m,mode=0755,nr_inodes=64"),
    Row("etc-folder not created: etc is a file",
        failed_at("Creating etc-folder ...", "etc-folder not created!", rename=False), "etc",
        arrange=file_in_place_of("etc")),
    Row("named.root not downloaded",
        failed_at("Downloading named.root ...", "named.root not downloaded!"), "backup", scenario="not-found",
        absent=("named.root",)),
    Row("rndc.key not generated",
        failed_at("Generating rndc.key ...", "rndc.key not generated!"), "backup", mode="no-key"),
    Row("rndc.key not generated: key dated 1970 is removed",
        failed_at("Generating rndc.key ...", "rndc.key not generated!"), "backup",
        at_key=lambda bind: os.utime(bind.path("etc", "rndc.key"), (BEFORE_1980, BEFORE_1980))),
    Row("rndc.key not deleted: immutable key",
        failed_at("Deleting rndc.key ...", "rndc.key not deleted!"), "backup", at_key=immutable("rndc.key"),
        key_left=True),
    *[Row(f"{name} not written: a device dated 1970",
          failed_at(f"Writing {name} ...", f"{name} not written!"), "backup", at_key=void_device(name))
      for name in ("rndc.conf", "named.conf", "localhost.zone", "named.local")],
    Row("Service not started",
        failed_at("Starting service ...", "Service not started!", start=True, **STOPS), "backup",
        named={**RUNNING, "start_exit": "1"}),
    Row("disk full on named.root", progress("Downloading named.root ..."), "backup",
        at_download=disk_full(0), report=DISK_FULL, absent=("named.root",)),
    Row("disk full on rndc.conf", progress("Writing rndc.conf ..."), "backup",
        at_key=disk_full(0, hold_key=True), report=DISK_FULL),
    Row("disk full on named.local", progress("Writing named.local ..."), "backup",
        at_key=disk_full(2), report=DISK_FULL),
    Row("read-only etc on named.root", progress("Downloading named.root ..."), "backup",
        at_download=read_only_mount("etc"), report=ACCESS_DENIED, absent=("named.root",)),
    Row("read-only named.conf", progress("Writing named.conf ..."), "backup",
        at_key=read_only_mount("etc", "named.conf"), report=ACCESS_DENIED),
    Row("immutable localhost.zone", progress("Writing localhost.zone ..."), "backup",
        at_key=immutable("localhost.zone", create=True), report=ACCESS_DENIED),
]


def run_row(sandbox, number, row):
    checks = sandbox.checks
    folder = os.path.join(sandbox.work, f"mnt{number:02}")
    os.mkdir(folder)
    sh("mount", "-t", "tmpfs", "-o", row.mount, "zephrane-faults", folder)
    try:
        bind = Bind(sandbox, f"row{number:02}", folder)
        bind.previous_etc()
        if row.named:
            bind.named(**row.named)
        bind.generator_mode(row.mode)
        sandbox.server.answer(row.scenario)
        if row.arrange:
            row.arrange(bind)
        kept = snapshot(bind.path("etc"))

        result = bind.run(at_key=row.at_key, at_download=row.at_download)

        if row.report:
            bind.check_run(row.name, result, encode(BANNER + row.printed), error_report("EInOutError", row.report))
        else:
            bind.check_run(row.name, result, configured(row.printed, False))
        copies = copies_of(folder, kept)
        found = "etc" in copies if row.kept_as == "etc" else any(BACKUP_NAME.match(c) for c in copies)
        checks.check(f"{row.name}: previous etc kept as {row.kept_as}", found, f"  found as: {copies}")
        checks.equal(f"{row.name}: rndc.key left", key_files(folder), ["etc/rndc.key"] if row.key_left else [])
        for name in row.absent:
            checks.check(f"{row.name}: no {name}", not os.path.lexists(bind.path("etc", name)))
    finally:
        subprocess.run(["umount", "--recursive", "--lazy", folder], check=False)


def main():
    private_mount_namespace()
    with suite() as sandbox:
        for number, row in enumerate(ROWS):
            with sandbox.checks.case(row.name):
                run_row(sandbox, number, row)
    sys.exit(sandbox.checks.finish())


if __name__ == "__main__":
    main()
