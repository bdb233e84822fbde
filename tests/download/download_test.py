#!/usr/bin/env python3
"""Runs the download backend tests against the root hints server, which the
client reaches as its proxy so that the URL stays the tool's own.
Usage: download_test.py <test binary> [emulator words...]"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from sandbox import ROOT_HINTS, HintsServer, windows_path  # noqa: E402

if __name__ == "__main__":
    binary, emulator = sys.argv[1], sys.argv[2:]
    native = windows_path if binary.endswith(".exe") else str
    with tempfile.TemporaryDirectory() as work:
        server = HintsServer(work)
        env = {k: v for k, v in os.environ.items() if k.lower() != "no_proxy"}
        env.update(http_proxy=server.proxy, ZEPHRANE_TEST_SCENARIO=native(server.scenario_file),
                   ZEPHRANE_TEST_REQUESTS=native(server.log), ZEPHRANE_TEST_ROOT_HINTS=native(ROOT_HINTS))
        status = subprocess.run([*emulator, binary], env=env).returncode
        server.stop()
    sys.exit(status)
