"""The scenarios of the end-to-end suite, one row each: the words, the
machine before the run, and what the run must leave behind.

Before: the registry value InstallDir (REG_SZ "C:\\ISC BIND\\" unless said);
the installation folder C:\\ISC BIND\\ (bin with the stand-in generator;
etc holding the old configuration OLD_ETC unless said); the two services as
(behaviour of the test service, start type, running?), None when not
registered; the root hints server's answer.
After: standard output after the banner, line by line; the exit status; the
error report on standard error, if any; the etc folder's files; whether the
old etc became one new backup etc_<time stamp of the run>; each service's
(state, start type).
"""
from dataclasses import dataclass, field

from expected import CONFIGURING, CREATING, KEY, SEARCHING, USAGE, WRITING

# Service states and start types as the Service Control Manager numbers them.
STOPPED, RUNNING = 1, 4
AUTO, DEMAND = 2, 3
ABSENT = (-1, -1)

OLD_ETC = {"named.conf": b"options { directory \"C:\\\\old\"; };\r\n", "notes.txt": b"kept as it was\r\n"}
CONFIGURED = "the five files of a configuration of the installation folder"
ROOT_HINTS_ONLY = "named.root alone"
RNDC_CONF_FOLDER = "named.root and the stand-in's folder rndc.conf"
EARLIER_BACKUP = {"named.conf": b"the backup of a run in this same second\r\n"}

INSTALL_DIR = "C:\\ISC BIND\\"
REG_SZ = ("REG_SZ", INSTALL_DIR)
# Expanded, this would name the installation folder.
WITH_VARIABLE = "%SystemDrive%\\ISC BIND\\"


@dataclass(frozen=True)
class Row:
    name: str
    words: list
    stdout: list  # after the banner
    named: tuple = ("normal", DEMAND, False)
    dnscache: tuple = ("normal", AUTO, True)
    registry: object = REG_SZ
    generator: bool = True
    generator_mode: str = ""
    etc: object = field(default_factory=lambda: OLD_ETC)
    same_second_backups: bool = False  # EARLIER_BACKUP as etc_<this and each of the next 30 seconds>
    download: str = "root-hints"  # or the server's "not-found", or "refused"
    # Afterwards.
    status: int = 0
    report: object = None  # (class name, message)
    etc_after: object = field(default_factory=lambda: OLD_ETC)
    backup: bool = False  # the old etc, moved to one new etc_<a second of the run>
    named_after: tuple = (STOPPED, DEMAND)
    dnscache_after: tuple = (RUNNING, AUTO)


def configured(*before_summary, summary="CONFIGURATION SUCCEEDED"):
    return SEARCHING + list(before_summary) + ["", summary, ""]


FAILED_FOLDER = ["Searching folder ...", "Folder not found!", "", "CONFIGURATION FAILED", ""]
SKIPPED = ["CONFIGURATION SKIPPED", ""]
# named runs with automatic start and so it stays: the run touches no service.
UNTOUCHED = dict(named=("normal", AUTO, True), named_after=(RUNNING, AUTO))

ROWS = [
    # The typical run and the first run.
    Row("typical: start, named running", ["start"],
        configured("Stopping service ...", "Renaming etc-folder ...", *CONFIGURING, "Starting service ..."),
        named=("normal", AUTO, True), etc_after=CONFIGURED, backup=True, named_after=(RUNNING, AUTO)),
    Row("first run: named stopped, no etc, no words", [], configured(*CONFIGURING),
        etc=None, etc_after=CONFIGURED),

    # Words.
    Row("help with other words", ["-cache", "start", "help", "+config"], USAGE + [""], **UNTOUCHED),
    Row("HELP", ["HELP"], USAGE + [""], **UNTOUCHED),
    Row("-config", ["-config"], SKIPPED, **UNTOUCHED),
    Row("start -config", ["start", "-config"], SKIPPED),
    Row("+config alone, /help and --help: as no words", ["+config", "/help", "--help"],
        configured("Renaming etc-folder ...", *CONFIGURING), etc_after=CONFIGURED, backup=True),
    Row("-cache and +cache: only deactivates", ["+cache", "-cache", "-config"],
        ["Deactivating DNS cache ...", ""] + SKIPPED, dnscache_after=(STOPPED, DEMAND)),
    Row("+cache starts the DNS cache", ["+cache", "-config"], ["Activating DNS cache ...", ""] + SKIPPED,
        dnscache=("normal", DEMAND, False)),
    Row("-cache, no DNS cache service", ["-cache"],
        ["Deactivating DNS cache ...", "DNS cache not deactivated!", "", "EXECUTION FAILED", ""],
        dnscache=None, dnscache_after=ABSENT),
    Row("-cache, DNS cache refuses to stop", ["-cache"],
        ["Deactivating DNS cache ...", "DNS cache not deactivated!", "", "EXECUTION FAILED", ""],
        dnscache=("refusestop", AUTO, True), dnscache_after=(RUNNING, DEMAND)),
    Row("-cache +config, DNS cache refuses to stop: configures", ["-cache", "+config"],
        ["Deactivating DNS cache ...", "DNS cache not deactivated!", ""]
        + configured("Renaming etc-folder ...", *CONFIGURING),
        dnscache=("refusestop", AUTO, True), dnscache_after=(RUNNING, DEMAND), etc_after=CONFIGURED, backup=True),
    Row("-cache -config, DNS cache refuses to stop", ["-cache", "-config"],
        ["Deactivating DNS cache ...", "DNS cache not deactivated!", "", "EXECUTION FAILED", ""],
        dnscache=("refusestop", AUTO, True), dnscache_after=(RUNNING, DEMAND)),
    Row("-cache +config -config, DNS cache refuses to stop", ["-cache", "+config", "-config"],
        ["Deactivating DNS cache ...", "DNS cache not deactivated!", ""] + SKIPPED,
        dnscache=("refusestop", AUTO, True), dnscache_after=(RUNNING, DEMAND)),

    # The registry.
    Row("registry key absent", [], FAILED_FOLDER, registry=None, **UNTOUCHED),
    Row("registry value absent", [], FAILED_FOLDER, registry=(), **UNTOUCHED),
    Row("registry value empty", [], FAILED_FOLDER, registry=("REG_SZ", ""), **UNTOUCHED),
    Row("registry value without trailing backslash", [], configured("Renaming etc-folder ...", *CONFIGURING),
        registry=("REG_SZ", "C:\\ISC BIND"), etc_after=CONFIGURED, backup=True),
    Row("REG_EXPAND_SZ read as a string", [], configured("Renaming etc-folder ...", *CONFIGURING),
        registry=("REG_EXPAND_SZ", INSTALL_DIR), etc_after=CONFIGURED, backup=True),
    Row("REG_EXPAND_SZ not expanded", [], FAILED_FOLDER, registry=("REG_EXPAND_SZ", WITH_VARIABLE), **UNTOUCHED),
    Row("REG_DWORD: error report", [], ["Searching folder ..."], registry=("REG_DWORD", "1"),
        status=1, report=("ERegistryException", "Ung\u00fcltiger Datentyp f\u00fcr 'InstallDir'"), **UNTOUCHED),

    # Failures along the sequence.
    Row("generator missing", [], SEARCHING + ["rndc-confgen.exe not found!", "", "CONFIGURATION FAILED", ""],
        generator=False, **UNTOUCHED),
    Row("generator writes no key file", [],
        configured("Renaming etc-folder ...", *CREATING, KEY[0], "rndc.key not generated!",
                   summary="CONFIGURATION FAILED"),
        generator_mode="no-key", etc_after=ROOT_HINTS_ONLY, backup=True),
    Row("download refused: named left stopped", ["start"],
        configured("Stopping service ...", "Renaming etc-folder ...", *CREATING, "named.root not downloaded!",
                   summary="CONFIGURATION FAILED"),
        named=("normal", AUTO, True), download="refused", etc_after={}, backup=True),
    Row("download 404: named left stopped", ["start"],
        configured("Stopping service ...", "Renaming etc-folder ...", *CREATING, "named.root not downloaded!",
                   summary="CONFIGURATION FAILED"),
        named=("normal", AUTO, True), download="not-found", etc_after={}, backup=True),
    Row("named will not start", ["start"],
        configured("Renaming etc-folder ...", *CONFIGURING, "Starting service ...", "Service not started!",
                   summary="CONFIGURATION FAILED"),
        named=("failstart", DEMAND, False), etc_after=CONFIGURED, backup=True, named_after=(STOPPED, AUTO)),
    Row("rndc.conf cannot be created: error report", [],
        SEARCHING + ["Renaming etc-folder ..."] + CREATING + KEY + WRITING[:1],
        generator_mode="conf-folder", status=1, report=("EInOutError", "Dateizugriff verweigert"),
        etc_after=RNDC_CONF_FOLDER, backup=True),
    Row("second run in the same second", ["start"],
        configured("Stopping service ...", "Renaming etc-folder ...", "etc-folder not renamed!",
                   summary="CONFIGURATION FAILED"),
        named=("normal", AUTO, True), same_second_backups=True),
]
