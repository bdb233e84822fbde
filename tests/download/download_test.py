#!/usr/bin/env python3
"""Runs the download backend tests against the root hints server, which the
client reaches as its proxy so that the URL stays the tool's own, and then
the refused download with the proxy on a closed port.
Usage: download_test.py <test binary> [emulator words...]"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from sandbox import ROOT_HINTS, HintsServer, free_port, windows_path  # noqa: E402


def main():
    binary, emulator = sys.argv[1], sys.argv[2:]
    native = windows_path if binary.endswith(".exe") else str
    with tempfile.TemporaryDirectory() as work:
        server = HintsServer(work)
        env = {k: v for k, v in os.environ.items() if k.lower() != "no_proxy"}
        env.update(ZEPHRANE_TEST_WORK=native(work), ZEPHRANE_TEST_SCENARIO=native(server.scenario_file),
                   ZEPHRANE_TEST_REQUESTS=native(server.log), ZEPHRANE_TEST_ROOT_HINTS=native(ROOT_HINTS))
        status = 0
        for proxy, tests in ((server.proxy, "-Refused*"), (f"http://127.0.0.1:{free_port()}", "Refused*")):
            status |= subprocess.run([*emulator, binary, "--gtest_filter=" + tests],
                                     env=dict(env, http_proxy=proxy)).returncode
        server.stop()
    sys.exit(status)


if __name__ == "__main__":
    main()
