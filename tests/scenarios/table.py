"""The scenario table (scenarios.json) and what every driver shares: the
defaults of a row, the outcome a run must have, and its comparison.

A row gives the words, the machine before the run and what the run must leave;
every field but "name" and "stdout" has a default (DEFAULTS). A driver (fake.py,
posix.py, wine.py) sets the machine up as its kind of system can, runs the
tool and reports an Outcome; rows it cannot set up it skips, with the reason.
"""
import concurrent.futures
import json
import os
import re
import stat
import sys
import time
from dataclasses import dataclass, field

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))
from sandbox import Checks, write  # noqa: E402

GOLDEN = os.path.join(os.path.dirname(HERE), "fixtures", "golden")
BANNER = ["", "Zephrane 0.3b1", "Copyright (C) 2026 The Zephrane developers", ""]
DIRECTORY = "<folder>"  # a folder in a tree
STATES = {"unknown": 0, "stopped": 1, "start-pending": 2, "running": 4, "paused": 7}
# The configuration a user had before the run: moved aside, never lost.
OLD_ETC = {"named.conf": b'options { directory "old"; };\r\n', "notes.txt": b"kept as it was\r\n",
           "zones": DIRECTORY}
# What tests/fixtures/stand_in_keygen.cpp writes.
STAND_IN_KEY = ['key "rndc-key" {', "\talgorithm hmac-md5;", '\tsecret "U3RhbmQtaW4gc2VjcmV0IGZvciB0ZXN0cw==";', "};"]
SAME_SECOND_WINDOW = 30  # seconds ahead for which an earlier run's backup is planted
ETC_FILE = b"a file where the folder belongs\n"
DEFAULTS = {
    "words": [], "registry": "install", "install": "normal", "bin": "normal", "generator": "key", "etc": "old",
    "same_second_backups": False, "named": ["stopped", 3], "dnscache": ["running", 2], "server": ["hints"],
    "lock": "free", "full": None, "service_manager": True,
    "report": None, "etc_after": "old", "backup": False, "requests": None, "key_left": False,
}


@dataclass
class Outcome:
    stdout: bytes
    stderr: bytes
    status: int
    tree: dict  # the installation folder but bin: {folder: {entry: bytes or DIRECTORY}}, and files there
    services: dict  # {"named": (state, start type) or None, "dnscache": ...}
    requests: int = None
    stamps: set = field(default_factory=set)  # the time stamps a backup of this run may carry


@dataclass
class Context:
    """What a driver's system makes of the same row."""
    line_end: bytes
    generator: str  # the key generator's file name
    exe: str  # the tool's file name, as the usage text shows it
    install_dir: str  # as the tool reads it, ending with its separator
    separator: str
    key_lines: list  # what the key generator writes
    hints: bytes  # the root hints the server gives
    codec: str = "utf-8"  # of the error report
    encode: object = lambda line: line.encode("latin-1")  # how a line of the console or of a file is stored


def rows():
    with open(os.path.join(HERE, "scenarios.json"), encoding="utf-8") as f:
        table = [{**DEFAULTS, **row} for row in json.load(f)]
    for row in table:  # the services stay as they were unless the row says otherwise
        for name in ("named", "dnscache"):
            row.setdefault(name + "_after", row[name] and row[name][:2])
    return table


def service(entry):
    """(state, start type) of a row's service entry; None for no service."""
    return entry and (STATES[entry[0]], entry[1])


def behaviour(entry):
    return entry[2] if entry and len(entry) > 2 else "normal"


def plant(row, folder, clock):
    """The row's etc and earlier backups in the installation folder `folder`,
    time stamps by `clock` (the system's local time): the backups by name."""
    if row["etc"] == "old":
        for name, content in OLD_ETC.items():
            path = os.path.join(folder, "etc", name)
            os.makedirs(path) if content == DIRECTORY else write(path, content)
    elif row["etc"] == "file":
        write(os.path.join(folder, "etc"), ETC_FILE)
    # Which second the run will read cannot be known beforehand, so an earlier
    # run's backup is there under every name the run may want.
    now = int(time.time())
    planted = {"etc_" + time.strftime("%Y%m%d%H%M%S", clock(now + second)): {"named.conf": b"an earlier run's\r\n"}
               for second in range(SAME_SECOND_WINDOW * row["same_second_backups"])}
    for name, files in planted.items():
        write(os.path.join(folder, name, "named.conf"), files["named.conf"])
    return planted


def stamps(begin, end, clock):
    """The time stamps of every second from `begin` to `end`."""
    return {time.strftime("%Y%m%d%H%M%S", clock(s)) for s in range(int(begin), int(end) + 1)}


def read_tree(folder, depth=2):
    """The installation folder `folder` as an Outcome's tree: its entries
    but bin, and theirs."""
    def entry(path):
        if os.path.isdir(path):
            return read_tree(path, depth - 1) if depth > 1 else DIRECTORY
        if not stat.S_ISREG(os.lstat(path).st_mode):
            return "<not a file>"
        with open(path, "rb") as f:
            return f.read()
    return {name: entry(os.path.join(folder, name)) for name in os.listdir(folder) if name != "bin" or depth < 2}


def text(lines, ctx):
    return b"".join(ctx.encode(line.replace("{generator}", ctx.generator).replace("{exe}", ctx.exe)) +
                    ctx.line_end for line in lines)


def golden(name, ctx):
    """A generated file as it must be: the golden text with the installation
    folder for {D} (and this system's separator after it) and the key lines."""
    lines = []
    with open(os.path.join(GOLDEN, name), encoding="ascii") as f:
        for line in f.read().splitlines():
            if line == "{KEY}":
                lines += ctx.key_lines
            elif "{D}" in line:
                lines.append(line.replace("\\", ctx.separator).replace("{D}", ctx.install_dir))
            else:
                lines.append(line)
    return text(lines, ctx)


def etc_after(kind, ctx):
    configured = {"named.root": ctx.hints,
                  **{name: golden(name, ctx) for name in ("rndc.conf", "named.conf", "localhost.zone", "named.local")}}
    return {"old": OLD_ETC, "configured": configured, "hints": {"named.root": ctx.hints}, "empty": {},
            "conf-folder": {"named.root": ctx.hints, "rndc.conf": DIRECTORY}, "none": None,
            # A full disk while named.conf was written: it is there, as far as it got.
            "partial": {"named.root": ctx.hints, "rndc.conf": configured["rndc.conf"], "named.conf": b""}}[kind]


def error_report(cls, message, exe="zephrane", end="\n", codec="utf-8"):
    """An uncaught error's report on standard error, as a pattern: the code
    address may be any 8 upper-case hexadecimal digits."""
    return re.compile(re.escape(f"Exception {cls} in Modul {exe} bei ".encode(codec)) + b"[0-9A-F]{8}" +
                      re.escape(f".{end}{message}.{end}{end}".encode(codec)))


def progress(last, stop=False, rename=True, start=False):
    """The POSIX build's progress lines, as the typical run prints them, up to
    and including `last`."""
    shown = {"Stopping service ...": stop, "Renaming etc-folder ...": rename, "Starting service ...": start}
    steps = [s.replace("{generator}", "rndc-confgen") for s in rows()[0]["stdout"][:-3] if shown.get(s, True)]
    return steps[: steps.index(last) + 1]


def encode(lines):
    """Lines as the POSIX build writes them."""
    return b"".join(os.fsencode(line) + b"\n" for line in lines)


def configured(lines, succeeded):
    """The POSIX build's transcript of a configuration run: `lines`, then the summary."""
    return encode(BANNER + lines + ["", "CONFIGURATION " + ("SUCCEEDED" if succeeded else "FAILED"), ""])


def exit_status(row):
    if row["report"]:
        return 1
    return 2 if row["stdout"] and row["stdout"][-2] in ("CONFIGURATION FAILED", "EXECUTION FAILED") else 0


def compare(checks, row, outcome, ctx, planted):
    """Everything the row says of the run, and that no configuration was lost.
    `planted`: the backups set up before the run, by name."""
    checks.equal("standard output", outcome.stdout, text(BANNER + row["stdout"], ctx))
    checks.equal("exit status", outcome.status, exit_status(row))
    report = row["report"] and error_report(*row["report"], ctx.exe, ctx.line_end.decode(), ctx.codec)
    if not report:
        checks.equal("standard error", outcome.stderr, b"")
    else:
        checks.check("error report", report.fullmatch(outcome.stderr), f"  got {outcome.stderr!r}")
    tree = dict(outcome.tree)
    wanted = etc_after(row["etc_after"], ctx)
    if row["key_left"]:
        wanted = {**wanted, "rndc.key": tree.get("etc", {}).get("rndc.key")}
    if row["etc"] == "file" and row["etc_after"] == "old":
        wanted = ETC_FILE
    checks.equal("etc", tree.pop("etc", None), wanted)
    for name, content in planted.items():
        checks.equal(f"planted backup {name}", tree.pop(name, None), content)
    new = sorted(tree)
    if row["backup"]:
        if checks.equal("one new backup", len(new), 1) and checks.check(
                "named etc_<a second of the run>", re.fullmatch(r"etc_\d{14}", new[0]) and new[0][4:] in outcome.stamps,
                f"  {new[0]} not among {sorted(outcome.stamps)}"):
            checks.equal("the old etc in the backup", tree[new[0]], OLD_ETC)
    else:
        checks.equal("other entries", new, [])
    for name in ("named", "dnscache"):
        checks.equal(f"{name} (state, start type)", outcome.services.get(name), service(row[f"{name}_after"]))
    if row["requests"] is not None:
        checks.equal("requests for the root hints", outcome.requests, row["requests"])


def run_table(driver, only=""):
    """Runs every row `driver` supports (`driver.parallel` at a time), then
    the checks of its own system (`driver.own_checks()`: (name, function of
    Checks) pairs, if it has any); the exit status of the suite."""
    checks = Checks()
    chosen = [row for row in rows() if only in row["name"]]
    reasons = {row["name"]: driver.unsupported(row) for row in chosen}
    skipped = [f"{name}: {reason}" for name, reason in reasons.items() if reason]
    with driver:
        supported = [row for row in chosen if not reasons[row["name"]]]
        with concurrent.futures.ThreadPoolExecutor(getattr(driver, "parallel", 1)) as pool:
            results = list(pool.map(driver.run, supported))
        for row, (outcome, ctx, planted) in zip(supported, results):
            with checks.case(row["name"]):
                compare(checks, row, outcome, ctx, planted)
        for name, check in getattr(driver, "own_checks", list)():
            if only in name:
                with checks.case(name):
                    check(checks)
    print(f"{len(skipped)} rows skipped on this system:", *skipped, sep="\n  ")
    return checks.finish()
