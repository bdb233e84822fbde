#!/usr/bin/env python3
"""End to end on Windows: zephrane.exe in a fresh Wine prefix of its own,
one run per row of scenarios.py, each compared whole: standard output byte
for byte, exit status, error report, the files of etc, the backup folder and
the services. Prints what a typical run costs beyond its own pauses, the key
generator and the download.

Usage: suite.py --zephrane EXE --fixtures DIR --runner tests/wine/run --prefix DIR [--only TEXT]
"""
import argparse
import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
import expected  # noqa: E402
import scenarios  # noqa: E402
from machine import DIRECTORY, Machine  # noqa: E402
from sandbox import ROOT_HINTS, Checks, HintsServer, error_report, free_port  # noqa: E402
from scenarios import CONFIGURED, EARLIER_BACKUP, RNDC_CONF_FOLDER, ROOT_HINTS_ONLY  # noqa: E402

PAUSES = 4.0  # the two 2-second pauses around stopping and starting named
SAME_SECOND_WINDOW = 30  # seconds ahead for which a backup is planted


def stamp(seconds):
    return time.strftime("%Y%m%d%H%M%S", time.gmtime(seconds))  # the prefix runs in UTC


def etc_files(wanted, root_hints):
    """The etc folder a row wants, by name of file (None: no etc)."""
    if not isinstance(wanted, str):
        return wanted
    return {CONFIGURED: expected.configuration(scenarios.INSTALL_DIR, root_hints),
            ROOT_HINTS_ONLY: {"named.root": root_hints},
            RNDC_CONF_FOLDER: {"named.root": root_hints, "rndc.conf": DIRECTORY}}[wanted]


def check_tree(checks, what, actual, wanted):
    """Folders as {name: bytes or DIRECTORY}, None when absent."""
    def shown(tree):
        return None if tree is None else {name: "folder" if c is DIRECTORY else c for name, c in tree.items()}

    if checks.equal(f"{what}: entries", actual and sorted(actual), wanted and sorted(wanted)) and actual:
        for name, content in shown(actual).items():
            checks.equal(f"{what}\\{name}", content, shown(wanted)[name])


def check_row(checks, row, run, before, after, states, oem, root_hints):
    checks.equal("standard output", run.stdout, expected.transcript(row.stdout))
    checks.equal("exit status", run.status, row.status)
    if row.report is None:
        checks.equal("standard error", run.stderr, b"")
    else:
        report = error_report(*row.report, "zephrane.exe", "\r\n", f"cp{oem}")
        checks.check("error report", report.fullmatch(run.stderr),
                     f"  got {run.stderr!r}, wanted {row.report!r} in code page {oem}")
    check_tree(checks, "etc", after.pop("etc", None), etc_files(row.etc_after, root_hints))

    # Backups planted before stay as they were; the run adds one or none.
    for name, tree in before.items():
        check_tree(checks, f"earlier backup {name}", after.pop(name, None), tree)
    window = {stamp(s) for s in range(int(run.began), int(run.began + run.seconds) + 1)}
    if not row.backup:
        checks.equal("folders besides bin and etc", sorted(after), [])
    elif checks.check("one new backup etc_<a second of the run>",
                      len(after) == 1 and re.fullmatch(r"etc_\d{14}", *after) and next(iter(after))[4:] in window,
                      f"  got {sorted(after)}, seconds of the run {sorted(window)}"):
        check_tree(checks, "backup", *after.values(), row.etc)
    checks.equal("named (state, start type)", states["named"], row.named_after)
    checks.equal("Dnscache (state, start type)", states["Dnscache"], row.dnscache_after)


def run_row(machine, server, row, work):
    machine.set_registry(row.registry)
    machine.set_service("named", row.named)
    machine.set_service("Dnscache", row.dnscache)
    # Two runs in one second want the same backup name. Which second the
    # run will read cannot be known beforehand, so the earlier run's backup
    # is planted under every name the run may want.
    now = int(time.time())
    before = {f"etc_{stamp(now + s)}": EARLIER_BACKUP
              for s in range(SAME_SECOND_WINDOW)} if row.same_second_backups else {}
    machine.set_install(scenarios.INSTALL_DIR, row.generator, row.generator_mode, row.etc, before)
    if row.download == "refused":
        proxy = f"http://127.0.0.1:{free_port()}"
    else:
        server.answer(row.download)
        proxy = server.proxy
    run = machine.run(row.words, proxy, work)
    return run, before, machine.folders(), machine.service_states()


def main():
    parser = argparse.ArgumentParser()
    for name in ("--zephrane", "--fixtures", "--runner", "--prefix"):
        parser.add_argument(name, required=True)
    parser.add_argument("--only", default="", help="run only the rows whose name holds this text")
    args = parser.parse_args()
    with open(ROOT_HINTS, "rb") as f:
        root_hints = f.read()

    rows = [row for row in scenarios.ROWS if args.only in row.name]
    machine = Machine(args.runner, args.prefix, args.fixtures, args.zephrane)
    checks = Checks()
    with tempfile.TemporaryDirectory() as work:
        server = HintsServer(work)
        try:
            machine.create()
            ansi, oem = (int(word) for word in machine.admin("codepages").split()[1::2])
            print(f"prefix {args.prefix}: ANSI code page {ansi}, OEM code page {oem}")
            for row in rows:
                with checks.case(row.name):
                    run, before, after, states = run_row(machine, server, row, work)
                    check_row(checks, row, run, before, after, states, oem, root_hints)
                if row is scenarios.ROWS[0] and not checks.failures:
                    # The stand-in records its own run; the server, how long the download took.
                    generator = machine.generator_seconds()
                    rest = run.seconds - PAUSES - generator - server.seconds
                    print(f"typical run under Wine: {run.seconds:.2f} s = {PAUSES:.2f} s pauses + {generator:.2f} s"
                          f" generator + {server.seconds:.3f} s download + {rest:.2f} s beyond them"
                          " (Wine starting the tool and the generator included)")
        finally:
            server.stop()
            machine.shutdown()
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
