"""What the Windows executable is to print and write, written out as text.

Console and files end every line with CR LF; the files carry the key lines
the stand-in generator writes (tests/fixtures/stand_in_keygen.cpp).
"""
import re

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

ZONE_HEAD = [
    "$TTL 3D",
    "@\tIN\tSOA\tns.localhost.\thostmaster.localhost. (",
    "\t\t\t\t\t11",
    "\t\t\t\t\t8H",
    "\t\t\t\t\t2H",
    "\t\t\t\t\t4W",
    "\t\t\t\t\t1D",
    "\t\t\t)",
    "",
    "\tIN\tNS\tns.localhost.",
    "",
]


def text(lines):
    """The bytes of lines, each ended with CR LF."""
    return "".join(line + CRLF for line in lines).encode("cp1252")


def transcript(lines):
    """The whole standard output: banner, then the lines."""
    return text(BANNER + lines)


def configuration(install_dir, root_hints):
    """The files of a configured etc folder for installation folder
    install_dir (ending with a backslash), by name."""
    etc = install_dir + "etc\\"
    rndc_conf = KEY_LINES + [
        "",
        "options {",
        '\tdefault-key "rndc-key";',
        "\tdefault-server 127.0.0.1;",
        "\tdefault-port 953;",
        "};",
    ]
    named_conf = [
        "options {",
        "\tallow-query { 127.0.0.1; };",
        "\tallow-recursion { 127.0.0.1; };",
        f'\tdirectory "{install_dir}etc";',
        "\tnotify no;",
        "};",
        "",
        'zone "." IN {',
        "\ttype hint;",
        f'\tfile "{etc}named.root";',
        "};",
        "",
        'zone "localhost" IN {',
        "\tallow-update { none; };",
        f'\tfile "{etc}localhost.zone";',
        "\ttype master;",
        "};",
        "",
        'zone "0.0.127.in-addr.arpa" IN {',
        "\tallow-update { none; };",
        f'\tfile "{etc}named.local";',
        "\ttype master;",
        "};",
        "",
        *KEY_LINES,
        "",
        "controls {",
        '\tinet 127.0.0.1 port 953 allow { 127.0.0.1; } keys { "rndc-key"; };',
        "};",
    ]
    return {
        "named.root": root_hints,
        "rndc.conf": text(rndc_conf),
        "named.conf": text(named_conf),
        "localhost.zone": text(ZONE_HEAD + ["localhost.\t\tA\t127.0.0.1", "ns.localhost.\t\tA\t127.0.0.1"]),
        "named.local": text(ZONE_HEAD + ["1\tIN\tPTR\tlocalhost."]),
    }


def error_report_pattern(class_name, message, oem_code_page):
    """The report on standard error, as a bytes pattern: the code address
    may be any 8 upper-case hexadecimal digits; the text is in the OEM code
    page."""
    def oem(s):
        return re.escape(s.encode(f"cp{oem_code_page}"))

    first = oem(f"Exception {class_name} in Modul zephrane.exe bei ") + b"[0-9A-F]{8}" + oem("." + CRLF)
    return re.compile(first + oem(message + "." + CRLF + CRLF))
