#!/usr/bin/env python3
"""SIGKILL at many points of a real configuration run, each followed by a
run that must succeed. The stand-ins are slowed down (generator 300 ms on
either side of the key, half the root hints 300 ms late, 100 ms per
systemctl call) so that the points in between are reachable; the tool's
output goes to a terminal, so each progress line arrives when printed.

After every kill the configuration from before that run exists byte for
byte (as etc or as a backup), and so does every configuration before it;
after every following run the new etc is complete and holds no rndc.key.
"""
import os
import pty
import select
import signal
import subprocess
import termios
import time

from harness import (GENERATED, Installation, Suite, backups, configurations, configured, copies_of, key_files,
                     progress, snapshot)

# (named before the run, progress line, seconds after it, what is under way)
KILL_POINTS = [
    ("active", "Searching folder ...", 0, "the registry read"),
    ("active", "Stopping service ...", 0.05, "systemctl stop"),
    ("active", "Stopping service ...", 1.0, "the pause after the stop"),
    ("active", "Renaming etc-folder ...", 0, "the rename"),
    ("inactive", "Creating etc-folder ...", 0, "the new etc"),
    ("inactive", "Downloading named.root ...", 0.15, "half of named.root written"),
    ("inactive", "Generating rndc.key ...", 0.1, "the generator, no key yet"),
    ("inactive", "Generating rndc.key ...", 0.45, "the generator, key written"),
    ("inactive", "Reading rndc.key ...", 0, "the key read"),
    ("inactive", "Deleting rndc.key ...", 0, "the key deletion"),
    ("inactive", "Writing rndc.conf ...", 0, "rndc.conf"),
    ("inactive", "Writing named.conf ...", 0, "named.conf"),
    ("inactive", "Writing localhost.zone ...", 0, "localhost.zone"),
    ("inactive", "Writing named.local ...", 0, "named.local"),
    ("inactive", "Starting service ...", 0.05, "systemctl start"),
    ("inactive", "Starting service ...", 1.0, "the pause after the start"),
]
# And, blind to the output, every 200 ms of a run from its start.
SWEEP = [i / 5 for i in range(8)]


def run_until_killed(bind, args, line, delay):
    """Runs the tool on a terminal and kills its process group `delay`
    seconds after `line` was printed (after its start when `line` is None).
    Returns the output and whether the kill came before the end."""
    master, slave = pty.openpty()
    modes = termios.tcgetattr(slave)
    modes[1] &= ~termios.OPOST  # LF stays LF
    termios.tcsetattr(slave, termios.TCSANOW, modes)
    process = subprocess.Popen([bind.suite.zephrane, *args], stdin=subprocess.DEVNULL, stdout=slave,
                               stderr=subprocess.DEVNULL, env=bind.env(), cwd=bind.side, start_new_session=True)
    os.close(slave)
    output = b""
    kill_at = time.monotonic() + delay if line is None else None
    killed = False
    deadline = time.monotonic() + 60
    while True:
        now = time.monotonic()
        if kill_at is not None and now >= kill_at or now > deadline:
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
                killed = True
            break
        wait = 0.05 if kill_at is None else max(0.0, min(0.05, kill_at - now))
        if select.select([master], [], [], wait)[0]:
            try:
                data = os.read(master, 4096)
            except OSError:  # the terminal's last writer is gone
                data = b""
            if not data:
                break
            output += data
            if kill_at is None and (line + "\n").encode() in output:
                kill_at = time.monotonic() + delay
    process.wait()
    os.close(master)
    bind.suite.check("run ends within 60 s", now <= deadline)
    return output, killed


def slow_down(bind, slow):
    bind.generator_mode("slow" if slow else "")
    bind.suite.scenario("slow" if slow else "root-hints")
    delay = os.path.join(bind.services, "delay")
    if slow:
        with open(delay, "w", encoding="ascii") as f:
            f.write("0.1\n")
    elif os.path.exists(delay):
        os.remove(delay)


def settle_named(bind):
    """Whether named runs. A systemctl stand-in killed while it rewrote its
    state file leaves it empty: that is the stand-in's loss, not the tool's."""
    if bind.named_state() not in ("active", "inactive"):
        bind.named("inactive")
    return bind.named_state() == "active"


def describe_etc(bind, before):
    """What a killed run left as etc, for the log: its files and their sizes."""
    etc = bind.path("etc")
    if not os.path.isdir(etc):
        return "none"
    if snapshot(etc) == before:
        return "the previous one"
    return " ".join(f"{n}({os.path.getsize(os.path.join(etc, n))})" for n in sorted(os.listdir(etc))) or "empty"


def wait_for_a_new_second(bind):
    """A backup of this very second would make the rename fail, as designed."""
    while "etc_" + time.strftime("%Y%m%d%H%M%S") in backups(bind.folder):
        time.sleep(0.05)


def following_run(bind, what):
    """A run after the kill; it must succeed. The user then adds a note to
    the new etc, so that every configuration differs from the others.
    Returns the new etc's snapshot."""
    suite = bind.suite
    slow_down(bind, False)
    running = settle_named(bind)
    renames = os.path.isdir(bind.path("etc"))
    wait_for_a_new_second(bind)
    result = bind.run()
    last = "Starting service ..." if running else "Writing named.local ..."
    bind.check_run(f"{what}: following run", result,
                   configured(progress(last, stop=running, rename=renames, start=running), True))
    suite.expect_equal(f"{what}: new etc", sorted(os.listdir(bind.path("etc"))), sorted(GENERATED))
    leftovers = [k for k in key_files(bind.folder) if not k.startswith("etc_")]
    suite.expect_equal(f"{what}: rndc.key outside the backups", leftovers, [])
    with open(bind.path("etc", "note"), "w", encoding="ascii") as f:
        f.write(f"edited after: {what}\n")
    return snapshot(bind.path("etc"))


def kill_and_recover(bind, kept, named, args, line, delay, what):
    suite = bind.suite
    failures_before = suite.failures
    bind.named(named)
    slow_down(bind, True)
    before = snapshot(bind.path("etc"))
    wait_for_a_new_second(bind)
    output, killed = run_until_killed(bind, args, line, delay)
    printed = output.decode(errors="replace").rstrip("\n").split("\n")[-1]
    suite.check(f"{what}: a run that was not killed succeeded", killed or printed == "CONFIGURATION SUCCEEDED",
                f"  output: {output!r}")
    suite.check(f"{what}: the previous etc survives the kill", copies_of(bind.folder, before),
                f"  output: {output!r}")
    left = describe_etc(bind, before)
    if before not in kept:
        kept.append(before)
    after = following_run(bind, what)
    present = list(configurations(bind.folder).values())
    lost = [number for number, configuration in enumerate(kept) if configuration not in present]
    suite.expect_equal(f"{what}: configurations lost", lost, [])
    kept.append(after)
    outcome = "ok" if suite.failures == failures_before else "FAILED"
    print(f"{outcome}: {what}: {'killed' if killed else 'ended'} after {printed!r}; etc: {left}")


def main():
    suite = Suite()
    folder = os.path.join(suite.work, "ISC BIND 9")
    bind = Installation(suite, "bind", folder)
    kept = []  # every complete configuration so far: none may get lost
    bind.previous_etc()
    for named, line, delay, what in KILL_POINTS:
        kill_and_recover(bind, kept, named, ["start"], line, delay, f"{line} +{delay} s ({what})")
    for delay in SWEEP:
        kill_and_recover(bind, kept, "inactive", ["start"], None, delay, f"{delay:.1f} s after the start")
    print(f"{len(backups(folder))} backups, {len(key_files(folder))} rndc.key left inside them by killed runs")
    suite.finish()


if __name__ == "__main__":
    main()
