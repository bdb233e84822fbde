#!/usr/bin/env python3
"""What a real file system can do to a configuration run, with the real
executable: no inode left, a full disk, a read-only mount, an immutable
key, a device or a link where a file belongs, etc swapped for a link while
the run goes on. Each row's installation folder lies in a small tmpfs of its
own, in a mount namespace of this suite's own (so nothing outlives it).

After each row the previous etc exists byte for byte as a backup, a file
outside the installation is untouched, and rndc.key is left only after
"rndc.key not deleted!". Needs root (mount, mknod, chattr); otherwise it
reports itself skipped.
"""
import errno
import os
import subprocess
import sys
from dataclasses import dataclass
from typing import Callable, Optional

from harness import SKIP, BACKUP_NAME, Bind, copies_of, key_files, snapshot, suite
from sandbox import write
from table import BANNER, configured, encode, error_report, progress

DISK_FULL = "E/A-Fehler 112"
ACCESS_DENIED = "Dateizugriff verweigert"
OUTSIDE = b"a file of root's outside the installation\n"


def private_mount_namespace():
    if os.geteuid() != 0:
        print("skipped: mounting, mknod and chattr need root")
        sys.exit(SKIP)
    if os.environ.get("ZEPHRANE_FAULTS_OWN_MOUNTS") != "1":
        os.environ["ZEPHRANE_FAULTS_OWN_MOUNTS"] = "1"
        os.execvp("unshare", ["unshare", "--mount", "--propagation", "private", sys.executable, *sys.argv])


def sh(*words):
    subprocess.run(words, check=True)


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


def read_only(bind):
    """The file system read-only: a read-only mount on etc alone would not
    reach the run, which holds etc open from before."""
    sh("mount", "-o", "remount,ro", os.path.dirname(bind.folder))


def outside(bind, *name):
    """A folder of root's outside the installation, on its file system."""
    return os.path.join(os.path.dirname(bind.folder), "outside", *name)


def etc_swapped(bind):
    """etc moved aside and a link to a folder outside put in its place."""
    os.rename(bind.path("etc"), bind.path("etc.moved"))
    os.symlink(outside(bind), bind.path("etc"))


@dataclass
class Row:
    name: str
    printed: list  # the lines after the banner, up to the failure line
    arrange: Optional[Callable] = None
    at_key: Optional[Callable] = None
    at_download: Optional[Callable] = None
    report: Optional[str] = None  # the message of the error report that ends the run
    key_left: bool = False
    absent: tuple = ()  # files of the new etc that must not exist
    mount: str = "size=1m,mode=0755"
    succeeds: bool = False


def failed_at(last, failure, **steps):
    return progress(last, **steps) + [failure]


ROWS = [
    Row("etc-folder not created: no inode left",
        failed_at("Creating etc-folder ...", "etc-folder not created!"), arrange=inodes_used_up,
        mount="size=1m,mode=0755,nr_inodes=64"),
    Row("rndc.key not deleted: immutable key",
        failed_at("Deleting rndc.key ...", "rndc.key not deleted!"),
        at_key=lambda bind: sh("chattr", "+i", bind.path("etc", "rndc.key")), key_left=True),
    Row("rndc.conf not written: a device that swallows what is written in the way",
        failed_at("Writing rndc.conf ...", "rndc.conf not written!"),
        at_key=lambda bind: os.mknod(bind.path("etc", "rndc.conf"), 0o666 | 0o020000, os.makedev(1, 3))),
    Row("named.conf not written: a link to a file outside",
        failed_at("Writing named.conf ...", "named.conf not written!"),
        at_key=lambda bind: os.symlink(outside(bind, "target"), bind.path("etc", "named.conf"))),
    Row("a link in the previous etc is kept, not followed", progress("Writing named.local ..."),
        arrange=lambda bind: os.symlink(outside(bind, "target"), bind.path("etc", "named.root")), succeeds=True),
    Row("etc swapped for a link during the run: nothing written outside",
        failed_at("Generating rndc.key ...", "rndc.key not generated!"), at_key=etc_swapped),
    Row("disk full on named.root", progress("Downloading named.root ..."),
        at_download=disk_full(0), report=DISK_FULL, absent=("named.root",)),
    Row("disk full on rndc.conf", progress("Writing rndc.conf ..."),
        at_key=disk_full(0, hold_key=True), report=DISK_FULL),
    Row("disk full on named.local", progress("Writing named.local ..."),
        at_key=disk_full(2), report=DISK_FULL),
    Row("read-only file system on named.root", progress("Downloading named.root ..."),
        at_download=read_only, report=ACCESS_DENIED, absent=("named.root",)),
]


def run_row(sandbox, number, row):
    checks = sandbox.checks
    folder = os.path.join(sandbox.work, f"mnt{number:02}")
    os.mkdir(folder)
    sh("mount", "-t", "tmpfs", "-o", row.mount, "zephrane-faults", folder)
    try:
        bind = Bind(sandbox, f"row{number:02}", os.path.join(folder, "ISC BIND"))
        bind.previous_etc()
        write(outside(bind, "target"), OUTSIDE)
        sandbox.server.answer("root-hints")
        if row.arrange:
            row.arrange(bind)
        kept = snapshot(bind.path("etc"))

        result = bind.run(at_key=row.at_key, at_download=row.at_download)

        if row.report:
            bind.check_run(row.name, result, encode(BANNER + row.printed), error_report("EInOutError", row.report))
        else:
            bind.check_run(row.name, result, configured(row.printed, row.succeeds))
        copies = copies_of(bind.folder, kept)
        checks.check(f"{row.name}: previous etc kept as a backup", any(BACKUP_NAME.match(c) for c in copies),
                     f"  found as: {copies}")
        checks.equal(f"{row.name}: rndc.key left", key_files(folder), ["ISC BIND/etc/rndc.key"] * row.key_left)
        left = snapshot(outside(bind))
        checks.equal(f"{row.name}: outside the installation", (sorted(left), left["target"][2]),
                     (["", "target"], OUTSIDE))
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
