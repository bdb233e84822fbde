"""What the Windows executable is to print and write, written out as text.

Console and files end every line with CR LF; the files carry the key lines
the stand-in generator writes (tests/fixtures/stand_in_keygen.cpp).
"""
from pathlib import Path

from sandbox import BANNER, usage

CRLF = "\r\n"

USAGE = usage("zephrane.exe")

# The checks every configuration begins with.
SEARCHING = ["Searching folder ...", "Searching bin-folder ...", "Searching rndc-confgen.exe ..."]

# From the fresh etc folder to the last file.
CREATING = ["Creating etc-folder ...", "Downloading named.root ..."]
KEY = ["Generating rndc.key ...", "Reading rndc.key ...", "Deleting rndc.key ..."]
WRITING = ["Writing rndc.conf ...", "Writing named.conf ...", "Writing localhost.zone ...",
           "Writing named.local ..."]
CONFIGURING = CREATING + KEY + WRITING

KEY_LINES = [
    'key "rndc-key" {',
    "\talgorithm hmac-md5;",
    '\tsecret "U3RhbmQtaW4gc2VjcmV0IGZvciB0ZXN0cw==";',
    "};",
]
GOLDEN = Path(__file__).absolute().parent.parent / "fixtures" / "golden"


def text(lines):
    return "".join(line + CRLF for line in lines).encode("cp1252")


def transcript(lines):
    return text(BANNER + lines)


def configuration(install_dir, root_hints):
    """The files of a configured etc folder for installation folder
    install_dir (ending with a backslash), by name: the golden files (shared
    with the unit tests) with the folder for {D} and the key lines for {KEY}."""
    def golden(name):
        lines = (GOLDEN / name).read_text().splitlines()
        return text([part for line in lines for part in (KEY_LINES if line == "{KEY}" else
                                                          [line.replace("{D}", install_dir)])])

    return {"named.root": root_hints, **{name: golden(name) for name in
                                         ("rndc.conf", "named.conf", "localhost.zone", "named.local")}}
