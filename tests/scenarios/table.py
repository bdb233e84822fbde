"""The scenario table (scenarios.json) and what every driver shares: the
defaults of a row, the transcript and the machine a run must leave, and
their comparison.

A row names its words and what differs from the typical machine before the
run (DEFAULTS), such as a "fault" of the file system that a driver sets up
before the run or while it goes on, a "lock" taken by another run, a
"clock" that runs fast, or what an earlier run in the same second left
("same_second": "etc_<stamp>" or "etc_<stamp>_failed").
What the run prints after the banner is "stdout" where it is unusual ("usage"
for the usage text); else it is built: the "cache" lines, the progress steps,
the optional ones as "shows" says, up to "last" or to the one the failure
line "fails" follows (else all of them), then the summary, which an error
"report" (class, message) replaces.
What the run leaves is the machine as before, but for what "leaves" changes:
an entry of the installation folder (with "<stamp>" where this run's time
stamp goes: "etc_<stamp>", "etc_<stamp>_failed") to what it holds (a kind of
KINDS or {file: content}; null for no entry), "named" or "dnscache" to
[state, start type]. So a failed run that puts everything back states nothing;
one that could not ("restored": false) exits with 3.
A driver (posix.py, wine.py) sets the machine up as its kind of system can,
runs the tool and reports an Outcome; rows it cannot set up it skips, with
the reason.
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
from sandbox import Checks, exit_status, write  # noqa: E402

GOLDEN = os.path.join(os.path.dirname(HERE), "fixtures", "golden")
ANCHORS = os.path.join(GOLDEN, "named.conf.anchors")
BANNER = ["", "Zephrane 0.3b1", "Copyright (C) 2026 The Zephrane developers", ""]
DIRECTORY, NOT_A_FILE = "<folder>", "<not a file>"  # in a tree: a folder deeper down; neither folder nor file
STATES = {"unknown": 0, "stopped": 1, "start-pending": 2, "stop-pending": 3, "running": 4, "paused": 7}
GENERATED = ["rndc.conf", "named.conf", "localhost.zone", "named.local"]
STEPS = [  # (progress line, the failure line that may follow it)
    ("Searching folder ...", "Folder not found!"), ("Searching bin-folder ...", "bin-folder not found!"),
    ("Searching {generator} ...", "{generator} not found!"), ("Stopping service ...", "Service not stopped!"),
    ("Renaming etc-folder ...", "etc-folder not renamed!"), ("Creating etc-folder ...", "etc-folder not created!"),
    ("Downloading named.root ...", "named.root not downloaded!"),
    ("Generating rndc.key ...", "rndc.key not generated!"), ("Reading rndc.key ...", None),
    ("Deleting rndc.key ...", "rndc.key not deleted!"),
    *((f"Writing {name} ...", f"{name} not written!") for name in GENERATED),
    ("Starting service ...", "Service not started!")]
USAGE = ["{exe} [-cache|+cache] [-config|+config] [help] [start]", "", "-cache    deactivate Windows DNS cache",
         "+cache    activate Windows DNS cache", "-config   skip configuration",
         "+config   force configuration (on cache error)", "help      show this help", "start     start BIND service",
         ""]
OPTIONAL = {"stop": "Stopping service ...", "rename": "Renaming etc-folder ...", "start": "Starting service ..."}
# The configuration a user had before the run, moved aside, never lost: files,
# an empty one, every byte value, a name in Windows-1252, a folder.
OLD_ETC = {"named.conf": b'options { directory "old"; };\r\n', "empty": b"", "bytes.bin": bytes(range(256)),
           os.fsdecode(b"notiz-\xe4\xf6\xfc.txt"): b"\xc4\xd6\xdc\r\n\x1a", "zones": DIRECTORY}
OUTSIDE = {"target": b"a file outside the installation\n"}  # beside it; links point there
LINK = os.path.join("..", "..", "outside", "target")  # from an entry of etc
ETC_FILE = b"a file where the folder belongs\n"
# What an entry of the installation holds; in a folder "hints", "golden", "key"
# and "" stand for the root hints, the golden file, the stand-in's key and no byte.
KINDS = {"old": OLD_ETC, "old-with-link": {**OLD_ETC, "named.root": NOT_A_FILE}, "file": ETC_FILE, "none": None,
         "configured": {"named.root": "hints", **{name: "golden" for name in GENERATED}},
         "hints": {"named.root": "hints"}, "empty": {}, "lock": b""}
# What tests/fixtures/stand_in_keygen.cpp writes.
STAND_IN_KEY = ['key "rndc-key" {', "\talgorithm hmac-md5;", '\tsecret "U3RhbmQtaW4gc2VjcmV0IGZvciB0ZXN0cw==";', "};"]
SAME_SECOND_WINDOW = 30  # seconds ahead for which an earlier run's backup is planted
DEFAULTS = {
    "words": [], "registry": "install", "install": "normal", "bin": "normal", "generator": "key", "etc": "old",
    "same_second": None, "named": ["stopped", 3], "dnscache": ["running", 2], "server": ["hints"],
    "lock": "free", "clock": "normal", "fault": None, "service_manager": True, "proxy": "http_proxy",
    "stdout": None, "cache": [], "shows": ["rename"], "last": None, "fails": None, "report": None,
    "leaves": {}, "restored": True, "requests": None,
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
    outside: dict = None  # the folder beside the installation, where it has one


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
    anchors: str = "trust-anchors"  # the statement of the root's keys in named.conf
    codec: str = "utf-8"  # of the error report
    encode: object = lambda line: line.encode("latin-1")  # how a line of the console or of a file is stored


def rows():
    with open(os.path.join(HERE, "scenarios.json"), encoding="utf-8") as f:
        return [{**DEFAULTS, **row} for row in json.load(f)]


def service(entry):
    """(state, start type) of a row's service entry; None for no service."""
    return entry and (STATES[entry[0]], entry[1])


def behaviour(entry):
    return entry[2] if entry and len(entry) > 2 else "normal"


def plant(row, folder, clock):
    """The row's etc and what earlier runs left in the installation folder
    `folder`, time stamps by `clock` (the system's local time): those by name."""
    if row["etc"].startswith("old"):
        for name, content in KINDS[row["etc"]].items():
            path = os.path.join(folder, "etc", name)
            if content == DIRECTORY:
                os.makedirs(path)
            elif content == NOT_A_FILE:
                os.symlink(LINK, path)
            else:
                write(path, content)
    elif row["etc"] == "file":
        write(os.path.join(folder, "etc"), ETC_FILE)
    # Which second the run will read cannot be known beforehand, so an earlier
    # run's folder is there under every name the run may want; empty, as a
    # plain rename would take the place of an empty folder.
    now = int(time.time())
    planted = {row["same_second"].replace("<stamp>", time.strftime("%Y%m%d%H%M%S", clock(now + second))): {}
               for second in range(SAME_SECOND_WINDOW * bool(row["same_second"]))}
    for name in planted:
        os.makedirs(os.path.join(folder, name))
    return planted


def stamps(begin, end, clock):
    """The time stamps of every second from `begin` to `end`."""
    return {time.strftime("%Y%m%d%H%M%S", clock(s)) for s in range(int(begin), int(end) + 1)}


def read_tree(folder, depth=2):
    """The installation folder `folder` as an Outcome's tree: its entries
    but bin, and theirs; links are not followed."""
    def entry(path):
        mode = os.lstat(path).st_mode
        if stat.S_ISDIR(mode):
            return read_tree(path, depth - 1) if depth > 1 else DIRECTORY
        if not stat.S_ISREG(mode):
            return NOT_A_FILE
        with open(path, "rb") as f:
            return f.read()
    return {name: entry(os.path.join(folder, name)) for name in os.listdir(folder) if name != "bin" or depth < 2}


def text(lines, ctx):
    return b"".join(ctx.encode(line.replace("{generator}", ctx.generator).replace("{exe}", ctx.exe)) +
                    ctx.line_end for line in lines)


def golden(name, ctx):
    """A generated file as it must be: the golden text with the installation
    folder for {D} (and this system's separator after it) and the key lines;
    named.conf goes on with the root's keys, after all of what it was before."""
    lines = []
    with open(os.path.join(GOLDEN, name), encoding="ascii") as f, open(ANCHORS, encoding="ascii") as anchors:
        body = f.read() + (anchors.read().replace("{ANCHORS}", ctx.anchors) if name == "named.conf" else "")
        for line in body.splitlines():
            if line == "{KEY}":
                lines += ctx.key_lines
            elif "{D}" in line:
                lines.append(line.replace("\\", ctx.separator).replace("{D}", ctx.install_dir))
            else:
                lines.append(line)
    return text(lines, ctx)


def content(kind, ctx):
    """What an entry of the installation holds, as a tree has it."""
    kind = KINDS.get(kind, kind) if isinstance(kind, str) else kind
    if not isinstance(kind, dict):
        return kind
    made = {"hints": lambda name: ctx.hints, "golden": lambda name: golden(name, ctx),
            "key": lambda name: text(ctx.key_lines, ctx), "": lambda name: b""}
    return {name: made[value](name) if value in made else value for name, value in kind.items()}


def error_report(cls, message, exe="zephrane", end="\n", codec="utf-8"):
    """An uncaught error's report on standard error, as a pattern: the code
    address may be any 8 upper-case hexadecimal digits."""
    return re.compile(re.escape(f"Exception {cls} in Modul {exe} bei ".encode(codec)) + b"[0-9A-F]{8}" +
                      re.escape(f".{end}{message}.{end}{end}".encode(codec)))


def transcript(shows=("rename",), last=None, fails=None, report=None, cache=()):
    """The lines of a configuration run after the banner: the progress steps
    (the optional ones as `shows` says) up to `last` or to the one that
    `fails` follows, else all of them; the summary unless an error `report`
    ends the run."""
    steps = [(step, failure) for step, failure in STEPS
             if step not in OPTIONAL.values() or step in (OPTIONAL[word] for word in shows)]
    end = next((i for i, (step, failure) in enumerate(steps) if last == step or fails and fails == failure), None)
    lines = [*cache, *(step for step, _ in steps[:None if end is None else end + 1]), *([fails] if fails else [])]
    return lines if report else lines + ["", "CONFIGURATION " + ("FAILED" if fails else "SUCCEEDED"), ""]


def printed(row):
    if row["stdout"] is not None:
        return USAGE if row["stdout"] == "usage" else row["stdout"]
    return transcript(row["shows"], row["last"], row["fails"], row["report"], row["cache"])


def encode(lines):
    """Lines as the POSIX build writes them."""
    return b"".join(os.fsencode(line.replace("{generator}", "rndc-confgen")) + b"\n" for line in lines)


def compare(checks, row, outcome, ctx, planted):
    """Everything the row says of the run, and that nothing else changed.
    `planted`: the backups set up before the run, by name."""
    stdout = text(BANNER + printed(row), ctx)
    checks.equal("standard output", outcome.stdout, stdout)
    checks.equal("exit status", outcome.status, exit_status(stdout, row["report"], row["restored"]))
    report = row["report"] and error_report(*row["report"], ctx.exe, ctx.line_end.decode(), ctx.codec)
    if not report:
        checks.equal("standard error", outcome.stderr, b"")
    else:
        checks.check("error report", report.fullmatch(outcome.stderr), f"  got {outcome.stderr!r}")
    tree = dict(outcome.tree)
    for name, files in planted.items():
        checks.equal(f"planted backup {name}", tree.pop(name, None), files)
    leaves = {"etc": row["etc"], **row["leaves"]}
    for name, kind in leaves.items():
        if name in ("named", "dnscache"):
            continue
        if "<stamp>" not in name:
            checks.equal(name, tree.pop(name, None), content(kind, ctx))
            continue
        pattern = name.replace("<stamp>", r"(\d{14})")
        new = [entry for entry in tree if re.fullmatch(pattern, entry)]
        if checks.equal(f"entries {name}", len(new), 1) and checks.check(
                f"{name}: a second of the run", re.fullmatch(pattern, new[0])[1] in outcome.stamps,
                f"  {new[0]} not among {sorted(outcome.stamps)}"):
            checks.equal(new[0], tree.pop(new[0]), content(kind, ctx))
    checks.equal("other entries", sorted(tree), [])
    if outcome.outside is not None:
        checks.equal("outside the installation", outcome.outside, OUTSIDE)
    for name in ("named", "dnscache"):
        checks.equal(f"{name} (state, start type)", outcome.services.get(name),
                     service(leaves.get(name, row[name] and row[name][:2])))
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
