#!/usr/bin/env python3
"""Runs the download backend tests against the root hints server, which the
client reaches as its proxy so that the URL stays the tool's own. Under Wine
a wininet.dll lies beside the test program (fixtures/planted_wininet.cpp),
preferred to Wine's own: no download may load it. The POSIX build fetches
once more through a libcurl.so.4 older than 7.85 (fixtures/old_curl.cpp).
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
        server, planted = HintsServer(work), os.path.join(work, "planted-dll-loaded")
        env = {k: v for k, v in os.environ.items() if k.lower() != "no_proxy"}
        env.update(http_proxy=server.proxy, ZEPHRANE_TEST_SCENARIO=native(server.scenario_file),
                   ZEPHRANE_TEST_REQUESTS=native(server.log), ZEPHRANE_TEST_ROOT_HINTS=native(ROOT_HINTS),
                   ZEPHRANE_TEST_PLANTED=native(planted), WINEDLLOVERRIDES="wininet=n,b",
                   ZEPHRANE_TEST_WINE="1" if emulator else "")
        status = subprocess.run([*emulator, binary], env=env).returncode
        if os.path.exists(planted):
            status = print("FAIL: the wininet.dll beside the program was loaded") or 1
        if not emulator:  # the old library is built beside the test program
            env["LD_LIBRARY_PATH"] = os.path.join(os.path.dirname(binary), "old_curl")
            status |= subprocess.run([binary, "--gtest_filter=Download.AsksOnce*"], env=env).returncode
        server.stop()
    sys.exit(status)
