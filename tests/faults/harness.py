"""What the fault suites share besides the sandbox: an installation with the
stand-in generator and systemd, the previous configuration a user may have
left, and the checks that nothing of it was lost.

Every suite is called as: <suite>.py <zephrane> <stand-in key generator>.
"""
import os
import re
import stat
import sys

sys.path[:0] = [os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), folder)
                for folder in ("support", "scenarios")]
from sandbox import Installation, Sandbox, write  # noqa: E402

SKIP = 77  # "cannot run here" (SKIP_RETURN_CODE)
GENERATED = ["named.root", "rndc.conf", "named.conf", "localhost.zone", "named.local"]
BACKUP_NAME = re.compile(r"etc_\d{14}\Z")

# An etc folder as a user may have left it: files, a subfolder, an empty
# file, every byte value, a name in Windows-1252.
PREVIOUS_ETC = {
    "named.conf": b'options {\n\tdirectory "/old/etc";\n};\n',
    "rndc.conf": b'key "old-key" {\n\tsecret "b2xk";\n};\n',
    "zones/example.zone": b"$TTL 1D\n@\tIN\tSOA\tns. host. (1 1 1 1 1)\n",
    "empty": b"",
    "bytes.bin": bytes(range(256)),
    os.fsdecode(b"notiz-\xe4\xf6\xfc.txt"): b"\xc4\xd6\xdc\r\n\x1a",
}


def snapshot(path):
    """Everything at `path`: relative path -> what it is and holds (names,
    modes and bytes; no time stamps)."""
    found = {}

    def visit(full, relative):
        info = os.lstat(full)
        if stat.S_ISDIR(info.st_mode):
            found[relative] = ("folder", info.st_mode)
            for entry in sorted(os.listdir(full)):
                visit(os.path.join(full, entry), os.path.join(relative, entry))
        elif stat.S_ISREG(info.st_mode):
            with open(full, "rb") as f:
                found[relative] = ("file", info.st_mode, f.read())
        else:
            found[relative] = ("other", info.st_mode, info.st_rdev)

    visit(path, "")
    return found


def backups(folder):
    return sorted(n for n in os.listdir(folder) if BACKUP_NAME.match(n))


def configurations(folder):
    names = (["etc"] if os.path.lexists(os.path.join(folder, "etc")) else []) + backups(folder)
    return {n: snapshot(os.path.join(folder, n)) for n in names}


def copies_of(folder, kept):
    return [name for name, content in configurations(folder).items() if content == kept]


def key_files(folder):
    return sorted(os.path.relpath(os.path.join(root, name), folder)
                  for root, _, names in os.walk(folder) for name in names if name == "rndc.key")


class Bind(Installation):

    def __init__(self, sandbox, name, folder, install_dir=None):
        super().__init__(sandbox, name, folder, sandbox.stand_in, install_dir)
        self.generator_mode("")

    def previous_etc(self):
        for name, content in PREVIOUS_ETC.items():
            write(self.path("etc", name), content)
        return snapshot(self.path("etc"))

    def named(self, state, **files):
        """The named unit in `state`, plus stand-in files such as stop_exit="1"."""
        for name, content in {"active": state, "unit_file": "enabled", **files}.items():
            write(os.path.join(self.services, "named", name.replace("_", "-")), content + "\n")

    def named_state(self):
        with open(os.path.join(self.services, "named", "active"), encoding="ascii") as f:
            return f.readline().strip()


def suite():
    if len(sys.argv) != 3:
        sys.exit(f"usage: {sys.argv[0]} <zephrane> <stand-in key generator>")
    sandbox = Sandbox(sys.argv[1])
    sandbox.stand_in = os.path.abspath(sys.argv[2])
    return sandbox
