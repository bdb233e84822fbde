"""The scenario table against the fake platform: each row becomes the machine
description fake_driver reads, and what it prints becomes the Outcome.
Usage: fake.py <fake_driver> [--only TEXT]"""
import subprocess
import sys

import table

ROOT = "/"
HINTS = b". 3600000 NS A.ROOT-SERVERS.NET.\nA.ROOT-SERVERS.NET. 3600000 A 198.41.0.4\n"
KEY = ['key "rndc-key" {', "\talgorithm hmac-sha256;", '\tsecret "ZmFrZSBzZWNyZXQ=";', "};"]
STAMP = "20100201090503"  # the fake clock's
FOLDER_NAMES = {"normal": "ISC BIND", "unprotected": "ISC BIND", "quote": 'ISC "BIND"', "tab": "ISC\tBIND",
                "cp1252": "B\xfcro \xc4nderung \x80", "utf8": "B\xc3\xbcro \xe2\x82\xac", "long": "b" * 255}
# The fake's services do at once what they do; how long they take is the backends' concern.
REFUSALS = {"refuses-stop": "stop", "fails-start": "start", "refuses-config": "config"}
# What only a real system shows: a registry's types and views, a path as the file system reads it.
UNSUPPORTED = {"registry": {"nul", "expand", "expand-variable", "view32", "both-views", "doubled", "echoed"},
               "generator": {"conf-link"}}


def hexed(data):
    return (data if isinstance(data, bytes) else data.encode("latin-1")).hex()


class FakeDriver:
    parallel = 4

    def __init__(self, program):
        self.program = program

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        pass

    def unsupported(self, row):
        if row["registry"] in UNSUPPORTED["registry"] or row["generator"] in UNSUPPORTED["generator"] or \
                not row["service_manager"]:
            return "needs a real system"
        return None

    def machine(self, row, install):
        etc, bin_, generator = install + "etc", install + "bin", install + "bin/rndc-confgen"
        items = [("word", hexed(w)) for w in row["words"]] + [("hints", hexed(HINTS)), ("key", hexed("\n".join(KEY)))]
        registry = {"install": install, "bare": install[:-1], "relative": install[1:],
                    "missing-folder": ROOT + "nowhere/", "wrong-type": None}.get(row["registry"], "")
        items += [("registry", hexed(registry))] if registry is not None else [("registry-wrong-type",)]
        bins = {"missing": {}, "file": {"bin": b""}}.get(row["bin"], {"bin": table.DIRECTORY})
        items += self.tree(install[:-1], bins)
        if row["bin"] == "normal" or row["bin"] == "unprotected":
            items += [("file", hexed(generator), hexed("ELF"))] * (row["generator"] != "missing")
        items += [("unprotected", hexed(path)) for path, flag in ((install[:-1], row["install"]), (bin_, row["bin"]),
                  (generator, row["generator"] == "not-executable" and "unprotected")) if flag == "unprotected"]
        items.append(("launch", row["generator"] if row["generator"] not in ("missing", "not-executable") else "key"))
        if row["etc"] == "file":
            items.append(("file", hexed(etc), hexed(table.ETC_FILE)))
        elif row["etc"] in ("old", "uncreatable"):
            items += self.tree(etc, table.OLD_ETC) + [("uncreatable", hexed(etc))] * (row["etc"] == "uncreatable")
        if row["same_second_backups"]:
            items += self.tree(install + "etc_" + STAMP, {"named.conf": b"an earlier run's\r\n"})
        for name, key in (("named", "named"), ("Dnscache", "dnscache")):
            if row[key]:
                state, start = table.service(row[key])
                items.append(("service", name, str(state), str(start), REFUSALS.get(table.behaviour(row[key]), "none")))
        answers = ["hints" if a == "hints" else "while-named-runs" if a == "while-named-runs" else "none"
                   for a in row["server"]]
        items.append(("download", *answers))
        if row["lock"] == "taken":
            items.append(("lock-taken",))
        if row["full"]:
            items.append(("full", hexed(etc + "/" + row["full"])))
        return "".join(" ".join(item) + "\n" for item in items)

    @staticmethod
    def tree(folder, files):
        items = [("folder", hexed(folder))]
        for name, content in files.items():
            path = hexed(folder + "/" + name)
            items.append(("folder", path) if content == table.DIRECTORY else ("file", path, hexed(content)))
        return items

    def run(self, row):
        install = ROOT + FOLDER_NAMES[row["install"]] + "/"
        done = subprocess.run([self.program], input=self.machine(row, install).encode(), capture_output=True,
                              check=True)
        out = {"tree": {}, "services": {}}
        for line in done.stdout.decode().splitlines():
            item, *values = line.split(" ")
            if item in ("status", "requests"):
                out[item] = int(values[0])
            elif item in ("stdout", "stderr"):
                out[item] = bytes.fromhex(values[0]) if values else b""
            elif item == "service":
                out["services"][{"named": "named", "Dnscache": "dnscache"}[values[0]]] = (int(values[1]),
                                                                                          int(values[2]))
            elif item in ("folder", "file"):
                path = bytes.fromhex(values[0]).decode("latin-1")
                if path.startswith(install) and not path.startswith(install + "bin"):
                    top, _, rest = path[len(install):].partition("/")
                    content = table.DIRECTORY if item == "folder" else bytes.fromhex((values + [""])[1])
                    if rest:
                        out["tree"].setdefault(top, {})[rest] = content
                    elif item == "folder":
                        out["tree"].setdefault(top, {})
                    else:
                        out["tree"][top] = content
        planted = {"etc_" + STAMP: {"named.conf": b"an earlier run's\r\n"}} if row["same_second_backups"] else {}
        ctx = table.Context(line_end=b"\n", generator="rndc-confgen", exe="zephrane.exe", install_dir=install,
                            separator="/", key_lines=KEY, hints=HINTS)
        outcome = table.Outcome(out["stdout"], out["stderr"], out["status"], out["tree"], out["services"],
                                out["requests"], {STAMP})
        return outcome, ctx, planted


if __name__ == "__main__":
    only = sys.argv[3] if len(sys.argv) > 3 and sys.argv[2] == "--only" else ""
    sys.exit(table.run_table(FakeDriver(sys.argv[1]), only))
