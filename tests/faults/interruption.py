#!/usr/bin/env python3
"""SIGKILL at many points of a real configuration run and of the undo of a
failed one, each followed by a run that must succeed; SIGTERM after the
first change. The stand-ins are slowed down (generator 300 ms on either side of
the key, the root hints 300 ms late, 100 ms per systemctl call) so that
the points in between are reachable; the tool's output goes to a terminal,
so each progress line arrives when printed.

After every kill the configuration from before that run exists byte for
byte (as etc or as a backup), and so does every configuration before it;
after every following run the new etc is complete and holds no rndc.key.
A termination request after the first change waits for the step under way,
then the run puts everything back and fails: etc, named and no rndc.key
anywhere as before; the kernel's kill cannot wait.
"""
import os
import pty
import re
import select
import signal
import subprocess
import sys
import termios
import time

sys.path[:0] = [os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), folder)
                for folder in ("support", "scenarios")]
from sandbox import Installation, Sandbox, write  # noqa: E402
from table import BANNER, DEFAULTS, GENERATED, encode, plant, read_tree, transcript  # noqa: E402

BACKUP_NAME = re.compile(r"etc_\d{14}\Z")
# (named before the run, progress line, seconds after it, what is under way[, signal[, answer]]): a kill before the
# rename or after the last file finds nothing of the run's own to lose: the table's rows cover what follows it;
# "not-found" makes the run fail at the download, and undo.
KILL_POINTS = [
    ("active", "Renaming etc-folder ...", 0, "the rename"),
    ("inactive", "Creating etc-folder ...", 0, "the new etc"),
    ("inactive", "Downloading named.root ...", 0, "named.root"),
    ("inactive", "Generating rndc.key ...", 0.1, "the generator, no key yet"),
    ("inactive", "Generating rndc.key ...", 0.45, "the generator, key written"),
    ("active", "Renaming etc-folder ...", 0, "the rename", signal.SIGTERM),
    ("inactive", "Generating rndc.key ...", 0.45, "the generator, key written", signal.SIGTERM),
    ("inactive", "Reading rndc.key ...", 0, "the key read"),
    ("inactive", "Reading rndc.key ...", 0, "the key read", signal.SIGTERM),
    ("inactive", "Deleting rndc.key ...", 0, "the key deletion"),
    ("inactive", "Writing rndc.conf ...", 0, "rndc.conf"),
    ("inactive", "Writing named.conf ...", 0, "named.conf"),
    ("inactive", "Writing localhost.zone ...", 0, "localhost.zone"),
    ("inactive", "Writing named.local ...", 0, "named.local"),
    ("inactive", "Starting service ...", 0.05, "systemctl start"),
] + [("active", "named.root not downloaded!", delay, f"the undo, +{delay} s", signal.SIGKILL, "not-found")
     for delay in (0, 0.05, 0.15, 0.25)] + [("inactive", None, i / 5, f"{i / 5:.1f} s after the start")
                                            for i in range(1, 8)]  # blind to the output


def backups(folder):
    return sorted(n for n in os.listdir(folder) if BACKUP_NAME.match(n))


def configurations(folder):
    names = (["etc"] if os.path.lexists(os.path.join(folder, "etc")) else []) + backups(folder)
    return {n: read_tree(os.path.join(folder, n), 99) for n in names}


def copies_of(folder, kept):
    return [name for name, content in configurations(folder).items() if content == kept]


def key_files(folder):
    return sorted(os.path.relpath(os.path.join(root, name), folder)
                  for root, _, names in os.walk(folder) for name in names if name == "rndc.key")


class Bind(Installation):
    def named(self, state, **files):
        """The named unit in `state`, plus stand-in files such as stop_exit="1"."""
        for name, content in {"active": state, "unit_file": "enabled", **files}.items():
            write(os.path.join(self.services, "named", name.replace("_", "-")), content + "\n")

    def named_state(self):
        with open(os.path.join(self.services, "named", "active"), encoding="ascii") as f:
            return f.readline().strip()


def run_until_killed(bind, line, delay, how=signal.SIGKILL):
    """Runs `zephrane start` on a terminal and sends `how` to its process
    group `delay` seconds after `line` was printed (after its start when
    `line` is None). Returns the output, whether the kill came before the end
    and the exit status."""
    master, slave = pty.openpty()
    modes = termios.tcgetattr(slave)
    modes[1] &= ~termios.OPOST  # LF stays LF
    termios.tcsetattr(slave, termios.TCSANOW, modes)
    process = subprocess.Popen([bind.sandbox.zephrane, "start"], stdin=subprocess.DEVNULL, stdout=slave,
                               stderr=subprocess.DEVNULL, env=bind.env, cwd=bind.side, start_new_session=True)
    os.close(slave)
    output, killed = b"", False
    kill_at = time.monotonic() + delay if line is None else None
    deadline = time.monotonic() + 60
    while True:
        now = time.monotonic()
        if (kill_at is not None and now >= kill_at and not killed) or now > deadline:
            if process.poll() is None and not killed:
                os.killpg(process.pid, how)
                killed = True
            if how == signal.SIGKILL or now > deadline:
                break
        # What a run that was asked to end prints before it ends is read too.
        waiting = kill_at is None or killed
        if select.select([master], [], [], 0.05 if waiting else max(0.0, min(0.05, kill_at - now)))[0]:
            try:
                data = os.read(master, 4096)
            except OSError:  # the terminal's last writer is gone
                data = b""
            if not data:
                break
            output += data
            if kill_at is None and (line + "\n").encode() in output:
                kill_at = time.monotonic() + delay
    status = process.wait()
    os.close(master)
    bind.sandbox.checks.check("run ends within 60 s", now <= deadline)
    return output, killed, status


def slow_down(bind, slow, answer="slow"):
    bind.generator_mode("slow" if slow else "")
    bind.sandbox.server.answer(answer if slow else "root-hints")
    delay = os.path.join(bind.services, "delay")
    if slow:
        write(delay, "0.1\n")
    elif os.path.exists(delay):
        os.remove(delay)


def wait_for_a_new_second(bind):
    """A backup of this very second would make the rename fail, as designed."""
    while "etc_" + time.strftime("%Y%m%d%H%M%S") in backups(bind.folder):
        time.sleep(0.05)


def following_run(bind, what):
    """A run after the kill, which must succeed. The user then adds a note to
    the new etc, so that every configuration differs from the others.
    Returns the new etc's tree."""
    checks = bind.sandbox.checks
    slow_down(bind, False)
    # A systemctl stand-in killed while it rewrote its state file leaves it
    # empty: that is the stand-in's loss, not the tool's.
    if bind.named_state() not in ("active", "inactive"):
        bind.named("inactive")
    running = bind.named_state() == "active"
    renames = os.path.isdir(bind.path("etc"))
    wait_for_a_new_second(bind)
    shows = ["stop"] * running + ["rename"] * renames + ["start"] * running
    bind.check_run(f"{what}: following run", bind.run(), encode(BANNER + transcript(shows)))
    checks.equal(f"{what}: new etc", sorted(os.listdir(bind.path("etc"))), sorted(["named.root", *GENERATED]))
    checks.equal(f"{what}: rndc.key outside the backups",
                 [k for k in key_files(bind.folder) if not k.startswith("etc_")], [])
    write(bind.path("etc", "note"), f"edited after: {what}\n")
    return read_tree(bind.path("etc"), 99)


def kill_and_recover(bind, kept, named, line, delay, what, how=signal.SIGKILL, answer="slow"):
    checks = bind.sandbox.checks
    bind.named(named)
    slow_down(bind, True, answer)
    before, folders, keys = read_tree(bind.path("etc"), 99), set(os.listdir(bind.folder)), key_files(bind.folder)
    wait_for_a_new_second(bind)
    output, killed, status = run_until_killed(bind, line, delay, how)
    if how != signal.SIGKILL:
        checks.check(f"{what}: failed, exit status 2", output.endswith(b"\n\nCONFIGURATION FAILED\n\n") and status == 2,
                     f"  {status}: {output!r}")
        checks.check(f"{what}: etc and named as before",
                     (read_tree(bind.path("etc"), 99), bind.named_state()) == (before, named))
        checks.check(f"{what}: new folders only etc_<stamp>_failed",
                     all(re.fullmatch(r"etc_\d{14}_failed", n) for n in set(os.listdir(bind.folder)) - folders))
        checks.equal(f"{what}: rndc.key left", sorted(set(key_files(bind.folder)) - set(keys)), [])
    printed = output.decode(errors="replace").rstrip("\n").split("\n")[-1]
    checks.check(f"{what}: a run that was not killed succeeded", killed or printed == "CONFIGURATION SUCCEEDED",
                 f"  output: {output!r}")
    checks.check(f"{what}: the previous etc survives the kill", copies_of(bind.folder, before),
                 f"  output: {output!r}")
    if before not in kept:
        kept.append(before)
    after = following_run(bind, what)
    present = list(configurations(bind.folder).values())
    checks.equal(f"{what}: configurations lost", [n for n, c in enumerate(kept) if c not in present], [])
    kept.append(after)
    print(f"{'killed' if killed else 'ended'} after {printed!r}")


def main():
    if len(sys.argv) != 3:
        sys.exit(f"usage: {sys.argv[0]} <zephrane> <stand-in key generator>")
    with Sandbox(sys.argv[1]) as sandbox:
        bind = Bind(sandbox, "bind", os.path.join(sandbox.work, "ISC BIND 9"), os.path.abspath(sys.argv[2]))
        kept = []  # every complete configuration so far: none may get lost
        plant(DEFAULTS, bind.folder, time.localtime)  # the etc a user left
        for named, line, delay, what, *how in KILL_POINTS:
            name = what if line is None else f"{line} +{delay} s ({what}{', SIGTERM' * (how[:1] == [signal.SIGTERM])})"
            with sandbox.checks.case(name):
                kill_and_recover(bind, kept, named, line, delay, name, *how)
        print(f"{len(backups(bind.folder))} backups, {len(key_files(bind.folder))} rndc.key left in them")
    sys.exit(sandbox.checks.finish())


if __name__ == "__main__":
    main()
