#!/usr/bin/env python3
"""Unusual installation folders and command-line words, with the real
executable: whole transcripts, the paths as they reach the key generator
and named.conf, and the previous etc in its backup.

On POSIX the words are the program's argv as the shell made them: quotes
and control bytes inside a word belong to it (the Windows build splits its
command line itself; the unit tests cover those rules).
"""
import os
import sys

from harness import Bind, copies_of, suite
from sandbox import BANNER, configured, encode, progress, usage

# (what, folder below the work folder, how InstallDir names it)
FOLDERS = [
    ("blanks", "Program Files/ISC BIND 9", lambda d: d + "/"),
    ("Windows-1252 bytes", os.fsdecode(b"B\xfcro \xc4nderung \x80 \xff"), lambda d: d + "/"),
    ("UTF-8", "Büro Änderung € 名前", lambda d: d + "/"),
    ("a tab and a line end inside", "tab\there\nline", lambda d: d + "/"),
    ("a 255-byte name, 250+ in all", "a" * 255 + "/" + "b" * 100, lambda d: d + "/"),
    ("doubled trailing separator", "bind", lambda d: d + "//"),
    ("no trailing separator", "bind-bare", lambda d: d),
    ("cut at a NUL in the value", "bind-nul", lambda d: d + "/\0/elsewhere/"),
]


def check_folder(sandbox, number, what, relative, value):
    checks = sandbox.checks
    folder = os.path.join(sandbox.work, f"folders{number}", relative)
    os.makedirs(folder)
    bind = Bind(sandbox, f"folder{number}", folder, install_dir=value(folder))
    kept = bind.previous_etc()
    bind.check_run(what, bind.run(), configured(progress("Writing named.local ..."), True))
    checks.check(f"{what}: previous etc in a backup", [c for c in copies_of(folder, kept) if c != "etc"])

    # Paths are concatenated as they are: the folder as read, then etc/.
    install_dir = os.fsencode(value(folder)).split(b"\0")[0]
    etc = install_dir + b"/" * (not install_dir.endswith(b"/")) + b"etc/"
    with open(bind.path("bin", "stand_in_record.txt"), "rb") as f:
        record = f.read()
    checks.check(f"{what}: the generator's key file", b"\narg " + etc + b"rndc.key\n" in record, f"  {record!r}")
    with open(bind.path("etc", "named.conf"), "rb") as f:
        named_conf = f.read()
    for line in (b'\tdirectory "' + etc[:-1] + b'";', b'\tfile "' + etc + b'named.root";',
                 b'\tfile "' + etc + b'localhost.zone";', b'\tfile "' + etc + b'named.local";'):
        checks.check(f"{what}: named.conf has {line!r}", b"\n" + line + b"\n" in named_conf)


def check_too_long(sandbox):
    """A folder whose path the system refuses (over 4096 bytes) is not found."""
    fd = os.open(sandbox.work, os.O_RDONLY | os.O_DIRECTORY)
    for _ in range(25):  # one level at a time: the whole path is too long for a system call
        os.mkdir("c" * 200, dir_fd=fd)
        inner = os.open("c" * 200, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = inner
    os.close(fd)
    folder = os.path.join(sandbox.work, *["c" * 200] * 25)
    # The installation beside it only provides the registry and the stand-ins.
    bind = Bind(sandbox, "too-long", os.path.join(sandbox.work, "unused"), install_dir=folder + "/")
    bind.check_run("too long", bind.run(), configured(["Searching folder ...", "Folder not found!"], False))


CONFIGURES = configured(["Searching folder ...", "Folder not found!"], False)  # no BIND installed
SKIPPED = encode(BANNER + ["CONFIGURATION SKIPPED", ""])
USAGE = encode(BANNER + usage("zephrane") + [""])

# (what, words, output)
ARGUMENTS = [
    ("empty words around -config", ["", "-config", ""], SKIPPED),
    ("double quotes are part of the word", ['"-config"'], CONFIGURES),
    ("a blank inside", ["-con fig"], CONFIGURES),
    ("a control byte after", ["-config\x01"], CONFIGURES),
    ("a tab before", ["\t-config"], CONFIGURES),
    ("bytes that are no UTF-8", [os.fsdecode(b"\xff\xfe-config")], CONFIGURES),
    ("control bytes as words", ["\x01", "\x1f", "-config", "\x1b[2J"], SKIPPED),
    ("a 100000-byte word", ["-config" + "x" * 100000], CONFIGURES),
    ("10000 empty words, then -config", [""] * 10000 + ["-config"], SKIPPED),
    ("help among control bytes", ["\x01", "HeLp", "\x02"], USAGE),
]


def main():
    with suite() as sandbox:
        for number, (what, relative, value) in enumerate(FOLDERS):
            with sandbox.checks.case(f"folder with {what}"):
                check_folder(sandbox, number, what, relative, value)
        with sandbox.checks.case("a path longer than the system takes"):
            check_too_long(sandbox)
        nobind = Bind(sandbox, "arguments", os.path.join(sandbox.work, "no-bind"), install_dir="")
        for what, words, output in ARGUMENTS:
            with sandbox.checks.case(what):
                nobind.check_run(what, nobind.run(words), output)
    sys.exit(sandbox.checks.finish())


if __name__ == "__main__":
    main()
