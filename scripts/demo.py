#!/usr/bin/env python3
"""Shows one configuration run to a person: `zephrane start` against
Debian's real named in a throw-away sandbox (tests/bind/real_bind.py makes
it and cleans it up, also when interrupted), then what named answers.
Usage: demo.py <zephrane>   (scripts/demo builds it first)"""
import os
import shlex
import subprocess
import sys

sys.path[:0] = [os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", folder)
                for folder in ("bind", "support", "scenarios")]
from real_bind import with_real_bind  # noqa: E402


def demo(bind):
    etc = bind.path("etc") + "/"
    print(f"""A sandbox stands in for a machine with BIND installed:
  installation folder  {bind.folder}/ (bin/rndc-confgen is Debian's)
  registry             {bind.registry}
  systemctl            a stand-in that runs Debian's named for the unit "named",
                       answering on port {bind.port} (the control channel stays on 953)
  root hints           Debian's copy, served through http_proxy={bind.sandbox.server.proxy}""")
    dig = ["dig", "-p", bind.port, "@127.0.0.1", "+noedns", "+noall", "+comments", "+answer"]
    for words in ([bind.sandbox.zephrane, "start"], ["ls", "-l", etc], dig + ["localhost", "A"],
                  dig + ["-x", "127.0.0.1"], "From another address named refuses to answer (allow-query):",
                  dig + ["-b", "127.0.0.2", "localhost", "A"], ["rndc", "-c", etc + "rndc.conf", "status"]):
        if isinstance(words, str):
            print("\n" + words)
            continue
        print("\n$ " + shlex.join(words), flush=True)
        subprocess.run(words, env=bind.env, cwd=bind.side, check=False)
    print("\nStopping named and removing the sandbox.")


if __name__ == "__main__":
    with_real_bind(sys.argv[1], demo)
