#!/usr/bin/env python3
"""End to end on Windows: zephrane.exe in a fresh Wine prefix of its own,
one run per row of scenarios.py, each compared whole: standard output byte
for byte, exit status, error report, the files of etc, the backup folder and
the services. Prints what a typical run costs beyond its own pauses, the key
generator and the download.

Usage: suite.py --zephrane EXE --fixtures DIR --runner tests/wine/run --prefix DIR
                --http-server tests/fixtures/http_server.py [--only TEXT]
"""
import argparse
import difflib
import re
import sys
import tempfile
import time
from pathlib import Path

import expected
import scenarios
from machine import DIRECTORY, HintsServer, Machine, closed_port
from scenarios import CONFIGURED, EARLIER_BACKUP, RNDC_CONF_FOLDER, ROOT_HINTS_ONLY

PAUSES = 4.0  # the two 2-second pauses around stopping and starting named
SAME_SECOND_WINDOW = 30  # seconds ahead for which a backup is planted


def stamp(seconds):
    return time.strftime("%Y%m%d%H%M%S", time.gmtime(seconds))  # the prefix runs in UTC


def etc_files(wanted, root_hints):
    """The etc folder a row wants, by name of file (None: no etc)."""
    if wanted == CONFIGURED:
        return expected.configuration(scenarios.INSTALL_DIR, root_hints)
    if wanted == ROOT_HINTS_ONLY:
        return {"named.root": root_hints}
    if wanted == RNDC_CONF_FOLDER:
        return {"named.root": root_hints, "rndc.conf": DIRECTORY}
    return wanted


def lines_diff(wanted, actual):
    diff = difflib.unified_diff([repr(x) for x in wanted.split(b"\n")], [repr(x) for x in actual.split(b"\n")],
                                "wanted", "got", lineterm="", n=1)
    return "\n      ".join(list(diff)[2:])


class Checker:
    def __init__(self):
        self.problems = []

    def equal(self, what, actual, wanted):
        if actual != wanted:
            self.problems.append(f"{what}: got {actual!r}, wanted {wanted!r}")

    def transcript(self, actual, wanted):
        if actual != wanted:
            self.problems.append("standard output:\n      " + lines_diff(wanted, actual))

    def tree(self, what, actual, wanted):
        """Folders as {name: bytes or DIRECTORY}; None when absent."""
        if actual is None or wanted is None:
            self.equal(what, None if actual is None else sorted(actual), None if wanted is None else sorted(wanted))
            return
        self.equal(f"{what}: entries", sorted(actual), sorted(wanted))
        for name in sorted(set(actual) & set(wanted)):
            got, want = actual[name], wanted[name]
            if got != want:
                if isinstance(got, bytes) and isinstance(want, bytes):
                    self.problems.append(f"{what}\\{name}:\n      " + lines_diff(want, got))
                else:
                    self.equal(f"{what}\\{name}", "folder" if got is DIRECTORY else "file",
                               "folder" if want is DIRECTORY else "file")


def check_row(row, run, before, after, states, oem, root_hints):
    check = Checker()
    check.transcript(run.stdout, expected.transcript(row.stdout))
    check.equal("exit status", run.status, row.status)
    if row.report is None:
        check.equal("standard error", run.stderr, b"")
    elif not expected.error_report_pattern(*row.report, oem).fullmatch(run.stderr):
        check.problems.append(f"error report: got {run.stderr!r}, wanted {row.report!r} in code page {oem}")
    check.tree("etc", after.pop("etc", None), etc_files(row.etc_after, root_hints))

    # Backups planted before stay as they were; the run adds one or none.
    for name, tree in before.items():
        check.tree(f"earlier backup {name}", after.pop(name, None), tree)
    window = {stamp(s) for s in range(int(run.began), int(run.began + run.seconds) + 1)}
    if row.backup:
        backups = list(after.items())
        if len(backups) != 1 or not re.fullmatch(r"etc_\d{14}", backups[0][0]) or backups[0][0][4:] not in window:
            check.problems.append(f"wanted one backup etc_<one of {sorted(window)}>, got {sorted(after)}")
        else:
            check.tree(backups[0][0], backups[0][1], row.etc)
    else:
        check.equal("folders besides bin and etc", sorted(after), [])
    check.equal("named (state, start type)", states["named"], row.named_after)
    check.equal("Dnscache (state, start type)", states["Dnscache"], row.dnscache_after)
    return check.problems


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
    machine.set_install(scenarios.INSTALL_DIR, row.bin_folder, row.generator, row.generator_mode, row.etc, before)
    if row.download == "refused":
        port = closed_port()
    else:
        server.answer(row.download)
        port = server.port
    run = machine.run(row.words, port, work)
    states = machine.service_states()
    machine.note_states(states)
    return run, before, machine.folders(), states


def overhead(machine, server, run):
    """What a typical run costs beyond its two pauses, the generator (from
    its launch to its end) and the download (as the server saw it), and
    where that goes. Standard output to a pipe leaves in 128-byte blocks:
    the first as the third search begins, the next just before the generator
    is launched, the rest at the end."""
    searched = run.time_printed("Searching bin-folder ...")
    launched = run.time_printed("Generating rndc.key ...")
    generator = machine.generator_seconds(launched)
    download = server.last_request_seconds()
    ended = run.began + run.seconds
    rest = run.seconds - PAUSES - generator - download
    print(f"typical run under Wine: {run.seconds:.2f} s = {PAUSES:.2f} s pauses + {generator:.2f} s generator"
          f" + {download:.3f} s download + {rest:.2f} s beyond them, of which"
          f" {searched - run.began:.2f} s start under Wine and the three searches,"
          f" {launched - searched - PAUSES / 2 - download:.2f} s stopping named, renaming and creating etc,"
          f" {ended - (launched + generator) - PAUSES / 2:.2f} s the key, the four files, starting named and exit")


def main():
    parser = argparse.ArgumentParser()
    for name in ("--zephrane", "--fixtures", "--runner", "--prefix", "--http-server"):
        parser.add_argument(name, required=True)
    parser.add_argument("--root-hints", default="/usr/share/dns/root.hints")
    parser.add_argument("--only", default="", help="run only the rows whose name holds this text")
    args = parser.parse_args()
    root_hints = Path(args.root_hints).read_bytes()

    rows = [row for row in scenarios.ROWS if args.only in row.name]
    machine = Machine(args.runner, args.prefix, args.fixtures, args.zephrane)
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        work = Path(folder)
        server = HintsServer(args.http_server, args.root_hints, work)
        try:
            machine.create()
            ansi, oem = machine.code_pages()
            print(f"prefix {args.prefix}: ANSI code page {ansi}, OEM code page {oem}")
            for row in rows:
                run, before, after, states = run_row(machine, server, row, work)
                problems = check_row(row, run, before, after, states, oem, root_hints)
                print(f"{'ok' if not problems else 'FAIL'}: {row.name} ({run.seconds:.1f} s)")
                for problem in problems:
                    print("  " + problem)
                failures += bool(problems)
                if row is scenarios.ROWS[0] and not problems:
                    overhead(machine, server, run)
        finally:
            server.stop()
            machine.shutdown()
    print(f"{len(rows) - failures} of {len(rows)} scenarios passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
