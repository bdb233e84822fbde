#!/usr/bin/env python3
"""Runs the download backend tests against the root hints server, which the
client reaches as its proxy so that the URL stays the tool's own. Under Wine
a wininet.dll lies beside the test program (fixtures/planted_wininet.cpp),
preferred to Wine's own: no download may load it. The POSIX build fetches
once more through a libcurl.so.4 older than 7.85 (fixtures/old_curl.cpp).
As root, the server answers CONNECT as www.internic.net with a certificate
of a CA made for this run, which only this suite's own mount namespace
trusts (libcurl and Wine read the bundle mounted over the system's).
Usage: download_test.py <test binary> [emulator words...]"""
import os
import re
import ssl
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from sandbox import ROOT_HINTS, HintsServer, windows_path  # noqa: E402

BUNDLE = "/etc/ssl/certs/ca-certificates.crt"
# What WinInet must be given, also where Wine ignores it (a redirect to https, automatic logon): RELOAD,
# NO_CACHE_WRITE, NO_COOKIES, NO_AUTH, IGNORE_REDIRECT_TO_HTTPS, NO_UI.
REQUEST_FLAGS = 0x80000000 | 0x04000000 | 0x00080000 | 0x00040000 | 0x00004000 | 0x00000200


def trust_throwaway_ca(work):
    """A TLS context for www.internic.net: a certificate made now, its own CA, that the bundle over BUNDLE trusts."""
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-keyout", "host.key",
                    "-out", "host.pem", "-subj", "/CN=www.internic.net", "-addext",
                    "subjectAltName=DNS:www.internic.net"], check=True, capture_output=True, cwd=work)
    work = Path(work)
    (work / "bundle.crt").write_bytes(Path(BUNDLE).read_bytes() + (work / "host.pem").read_bytes())
    subprocess.run(["mount", "--bind", work / "bundle.crt", BUNDLE], check=True)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(work / "host.pem", work / "host.key")
    return context


if __name__ == "__main__":
    if os.geteuid() == 0 and os.environ.get("ZEPHRANE_OWN_MOUNTS") != "1":  # a mount namespace of the suite's own
        os.environ["ZEPHRANE_OWN_MOUNTS"] = "1"
        os.execvp("unshare", ["unshare", "--mount", "--propagation", "private", sys.executable, *sys.argv])
    binary, emulator = sys.argv[1], sys.argv[2:]
    native = windows_path if binary.endswith(".exe") else str
    with tempfile.TemporaryDirectory() as work:
        server, planted = HintsServer(work), os.path.join(work, "planted-dll-loaded")
        server.tls = trust_throwaway_ca(work) if os.environ.get("ZEPHRANE_OWN_MOUNTS") == "1" else None
        env = {k: v for k, v in os.environ.items() if k.lower() != "no_proxy"}
        env.update(http_proxy=server.proxy, https_proxy=server.proxy, ZEPHRANE_TEST_REQUESTS=native(server.log),
                   ZEPHRANE_TEST_SCENARIO=native(server.scenario_file), ZEPHRANE_TEST_ROOT_HINTS=native(ROOT_HINTS),
                   ZEPHRANE_TEST_PLANTED=native(planted), WINEDLLOVERRIDES="wininet=n,b",
                   ZEPHRANE_TEST_WINE="1" if emulator else "", ZEPHRANE_TEST_TLS="1" if server.tls else "")
        status = subprocess.run([*emulator, binary], env=env).returncode
        if os.path.exists(planted):
            status = print("FAIL: the wininet.dll beside the program was loaded") or 1
        if emulator:  # as WinInet traces them
            traced = subprocess.run([*emulator, binary, "--gtest_filter=Download.AsksOnce*"], capture_output=True,
                                    env=dict(env, WINEDEBUG="-all,+wininet")).stderr
            flags = {int(f, 16) for f in re.findall(rb"HttpOpenRequestA \(.*, ([0-9a-f]+), [0-9a-f]+\)$", traced, re.M)}
            if flags != {REQUEST_FLAGS}:
                status = print(f"FAIL: WinInet was given the request flags {[hex(f) for f in flags]}") or 1
        else:  # the old library is built beside the test program
            env["LD_LIBRARY_PATH"] = os.path.join(os.path.dirname(binary), "old_curl")
            status |= subprocess.run([binary, "--gtest_filter=Download.AsksOnce*"], env=env).returncode
        server.stop()
    sys.exit(status)
