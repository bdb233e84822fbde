#!/usr/bin/env python3
"""Unusual installation folders and command-line words, with the real
executable: whole transcripts, the paths as they reach the key generator
and named.conf, and the previous etc in its backup.

On POSIX the words are the program's argv as the shell made them: quotes
and control bytes inside a word belong to it (the Windows build splits its
command line itself; the unit tests cover those rules).
"""
import os

from harness import BANNER, Installation, Suite, configured, copies_of, encode, progress

SEP = "/"
# The longest folder name most file systems take, in a path of 250+ bytes.
LONG = SEP.join(["a" * 255, "b" * 100])


def make_folders(base, relative):
    """Creates `relative` below `base` one level at a time, so that the whole
    path may be longer than a system call accepts."""
    fd = os.open(base, os.O_RDONLY | os.O_DIRECTORY)
    for name in relative.split(SEP):
        os.mkdir(name, dir_fd=fd)
        inner = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = inner
    os.close(fd)


# (what, folder below the work folder, how InstallDir names it)
FOLDERS = [
    ("blanks", "Program Files/ISC BIND 9", lambda d: d + SEP),
    ("Windows-1252 bytes", os.fsdecode(b"B\xfcro \xc4nderung \x80 \xff"), lambda d: d + SEP),
    ("UTF-8", "Büro Änderung € 名前", lambda d: d + SEP),
    ("a tab and a line end inside", "tab\there\nline", lambda d: d + SEP),
    ("a 255-byte name, 250+ in all", LONG, lambda d: d + SEP),
    ("doubled trailing separator", "bind", lambda d: d + SEP + SEP),
    ("no trailing separator", "bind-bare", lambda d: d),
    ("cut at a NUL in the value", "bind-nul", lambda d: d + SEP + "\0/elsewhere/"),
]


def check_folder(suite, number, what, relative, value):
    folder = os.path.join(suite.work, f"folders{number}", relative)
    os.makedirs(folder)
    bind = Installation(suite, f"folder{number}", folder, install_dir=value(folder))
    kept = bind.previous_etc()
    result = bind.run()
    bind.check_run(what, result, configured(progress("Writing named.local ..."), True))
    suite.check(f"{what}: previous etc in a backup", [c for c in copies_of(folder, kept) if c != "etc"])

    # Paths are concatenated as they are: the folder as read, then etc/.
    install_dir = os.fsencode(value(folder)).split(b"\0")[0]
    if not install_dir.endswith(b"/"):
        install_dir += b"/"
    etc = install_dir + b"etc/"
    with open(bind.path("bin", "stand_in_record.txt"), "rb") as f:
        record = f.read()
    suite.check(f"{what}: the generator's key file", b"\narg " + etc + b"rndc.key\n" in record,
                f"  record: {record!r}")
    with open(bind.path("etc", "named.conf"), "rb") as f:
        named_conf = f.read()
    for line in (b'\tdirectory "' + etc[:-1] + b'";', b'\tfile "' + etc + b'named.root";',
                 b'\tfile "' + etc + b'localhost.zone";', b'\tfile "' + etc + b'named.local";'):
        suite.check(f"{what}: named.conf has {line!r}", b"\n" + line + b"\n" in named_conf)


def check_too_long(suite):
    """A folder whose path the system refuses (over 4096 bytes) is not found;
    nothing in it changes."""
    what = "a path longer than the system takes"
    relative = SEP.join(["c" * 200] * 25)
    make_folders(suite.work, relative)
    folder = os.path.join(suite.work, relative)
    # The installation beside it only provides the registry and the stand-ins.
    bind = Installation(suite, "too-long", os.path.join(suite.work, "unused"), install_dir=folder + SEP)
    result = bind.run()
    bind.check_run(what, result, configured(["Searching folder ...", "Folder not found!"], False))


def usage():
    return ["zephrane [-cache|+cache] [-config|+config] [help] [start]", "",
            "-cache    deactivate Windows DNS cache", "+cache    activate Windows DNS cache",
            "-config   skip configuration", "+config   force configuration (on cache error)",
            "help      show this help", "start     start BIND service", ""]


CONFIGURES = configured(["Searching folder ...", "Folder not found!"], False)  # no BIND installed
SKIPPED = encode(BANNER + ["CONFIGURATION SKIPPED", ""])
USAGE = encode(BANNER + usage())

# (what, words, output)
ARGUMENTS = [
    ("an empty word", [""], CONFIGURES),
    ("empty words around -config", ["", "-config", ""], SKIPPED),
    ("double quotes are part of the word", ['"-config"'], CONFIGURES),
    ("single quotes are part of the word", ["'-config'"], CONFIGURES),
    ("a blank inside", ["-con fig"], CONFIGURES),
    ("a control byte after", ["-config\x01"], CONFIGURES),
    ("a tab before", ["\t-config"], CONFIGURES),
    ("a line end after", ["-config\n"], CONFIGURES),
    ("DEL after", ["-config\x7f"], CONFIGURES),
    ("bytes that are no UTF-8", [os.fsdecode(b"\xff\xfe-config")], CONFIGURES),
    ("control bytes as words", ["\x01", "\x1f", "-config", "\x1b[2J"], SKIPPED),
    ("a 100000-byte word", ["-config" + "x" * 100000], CONFIGURES),
    ("10000 empty words, then -config", [""] * 10000 + ["-config"], SKIPPED),
    ("help among control bytes", ["\x01", "HeLp", "\x02"], USAGE),
]


def main():
    suite = Suite()
    for number, (what, relative, value) in enumerate(FOLDERS):
        failures_before = suite.failures
        check_folder(suite, number, what, relative, value)
        print(f"{'ok' if suite.failures == failures_before else 'FAILED'}: folder with {what}")
    failures_before = suite.failures
    check_too_long(suite)
    print(f"{'ok' if suite.failures == failures_before else 'FAILED'}: a path longer than the system takes")
    nobind = Installation(suite, "arguments", os.path.join(suite.work, "no-bind"), install_dir="")
    for what, words, output in ARGUMENTS:
        failures_before = suite.failures
        nobind.check_run(what, nobind.run(words), output)
        print(f"{'ok' if suite.failures == failures_before else 'FAILED'}: {what}")
    suite.finish()


if __name__ == "__main__":
    main()
