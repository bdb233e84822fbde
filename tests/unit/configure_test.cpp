// The configuration sequence: every failure row, what it prints, what it
// leaves behind and which services it touched.
#include <gtest/gtest.h>

#include <functional>

#include "config/configure.h"
#include "tests/fake_platform.h"

namespace zephrane {
namespace {

using testing::FakePlatform;
using testing::Lines;

const std::string kSep(1, kPathSeparator);
const std::string D = FakePlatform::Join({"Program Files", "ISC BIND 9"}, true);
const std::string kEtc = D + "etc";
const std::string kBackup = D + "etc_20100201090503";
const std::string kGenerator = D + "bin" + kSep + std::string(kKeyGeneratorName);
const std::string kGeneratorName(kKeyGeneratorName);

// Every progress line of a complete run, in order.
const std::vector<std::string> kSteps = {
    "Searching folder ...",        "Searching bin-folder ...", "Searching " + kGeneratorName + " ...",
    "Stopping service ...",        "Renaming etc-folder ...",  "Creating etc-folder ...",
    "Downloading named.root ...",  "Generating rndc.key ...",  "Reading rndc.key ...",
    "Deleting rndc.key ...",       "Writing rndc.conf ...",    "Writing named.conf ...",
    "Writing localhost.zone ...",  "Writing named.local ...",  "Starting service ...",
};

// A machine where named runs and an old etc folder holds one file.
FakePlatform RunningBind() {
    FakePlatform platform;
    platform.InstallBind(D);
    platform.services["named"] = {4, 2};
    platform.folders.insert(kEtc);
    platform.files[kEtc + kSep + "named.conf"] = "old";
    return platform;
}

// The progress lines up to and including `last`, then `failure`.
std::string Until(const std::string& last, const std::string& failure) {
    std::vector<std::string> lines;
    for (const std::string& step : kSteps) {
        lines.push_back(step);
        if (step == last) {
            break;
        }
    }
    lines.push_back(failure);
    return Lines(lines);
}

std::vector<std::string> NamedCalls(const FakePlatform& platform) {
    std::vector<std::string> calls;
    for (const std::string& call : platform.calls) {
        if (call.find("(named") != std::string::npos || call.starts_with("Sleep")) {
            calls.push_back(call);
        }
    }
    return calls;
}

const std::vector<std::string> kStopCalls = {"GetServiceState(named)", "SetServiceStartType(named,3)",
                                             "StopServiceAndWait(named)", "Sleep(2000)"};

struct FailureRow {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    std::string transcript;
    bool oldEtcInBackup;  // else still in place as etc
    int namedState;
    std::vector<std::string> namedCalls;
};

class SequenceFailure : public ::testing::TestWithParam<FailureRow> {};

TEST_P(SequenceFailure, StopsWithOneLineAndLosesNothing) {
    const FailureRow& row = GetParam();
    FakePlatform platform = RunningBind();
    row.arrange(platform);
    Console out(platform);
    EXPECT_FALSE(ConfigureServer(platform, out, true));
    out.Flush();
    EXPECT_EQ(platform.out, row.transcript);

    // The old configuration survives byte for byte, in etc or in the backup.
    const std::string kept = (row.oldEtcInBackup ? kBackup : kEtc) + kSep + "named.conf";
    EXPECT_EQ(platform.files[kept], "old");
    EXPECT_EQ(platform.services["named"].state, row.namedState);
    EXPECT_EQ(NamedCalls(platform), row.namedCalls);
    // The key file exists afterwards only when it could not be deleted.
    EXPECT_EQ(platform.files.count(kEtc + kSep + "rndc.key"), row.transcript.find("not deleted") != std::string::npos);
}

std::vector<std::string> kStopAndStartCalls = [] {
    std::vector<std::string> calls = kStopCalls;
    calls.insert(calls.end(), {"SetServiceStartType(named,2)", "StartServiceAndWait(named)", "Sleep(2000)"});
    return calls;
}();

INSTANTIATE_TEST_SUITE_P(
    Rows, SequenceFailure,
    ::testing::Values(
        FailureRow{"RegistryValueEmpty", [](FakePlatform& p) { p.installDir = ""; },
                   Until("Searching folder ...", "Folder not found!"), false, 4, {}},
        FailureRow{"FolderMissing", [](FakePlatform& p) { p.installDir = FakePlatform::Join({"nowhere"}, true); },
                   Until("Searching folder ...", "Folder not found!"), false, 4, {}},
        FailureRow{"BinMissing", [](FakePlatform& p) { p.folders.erase(D + "bin"); },
                   Until("Searching bin-folder ...", "bin-folder not found!"), false, 4, {}},
        FailureRow{"GeneratorMissing", [](FakePlatform& p) { p.files.erase(kGenerator); },
                   Until("Searching " + kGeneratorName + " ...", kGeneratorName + " not found!"), false, 4, {}},
        FailureRow{"StopFails", [](FakePlatform& p) { p.services["named"].canStop = false; },
                   Until("Stopping service ...", "Service not stopped!"), false, 4, kStopCalls},
        FailureRow{"StartTypeFailsNoStopTried",
                   [](FakePlatform& p) { p.services["named"].canChangeStartType = false; },
                   Until("Stopping service ...", "Service not stopped!"), false, 4,
                   {"GetServiceState(named)", "SetServiceStartType(named,3)", "Sleep(2000)"}},
        FailureRow{"BackupOfTheSameSecondExists",
                   [](FakePlatform& p) {
                       p.folders.insert(kBackup);
                       p.files[kBackup + kSep + "named.conf"] = "first backup";
                   },
                   Until("Renaming etc-folder ...", "etc-folder not renamed!"), false, 1, kStopCalls},
        FailureRow{"CreateFails", [](FakePlatform& p) { p.uncreatable.insert(kEtc); },
                   Until("Creating etc-folder ...", "etc-folder not created!"), true, 1, kStopCalls},
        FailureRow{"DownloadFails", [](FakePlatform& p) { p.download = [](auto&, auto&) { return false; }; },
                   Until("Downloading named.root ...", "named.root not downloaded!"), true, 1, kStopCalls},
        FailureRow{"NoKeyFile", [](FakePlatform& p) { p.launch = [](auto&, auto&) { return true; }; },
                   Until("Generating rndc.key ...", "rndc.key not generated!"), true, 1, kStopCalls},
        FailureRow{"GeneratorKilledWithHalfAKey",
                   [](FakePlatform& p) {
                       p.launch = [&p](auto&, auto&) {
                           p.files[kEtc + kSep + "rndc.key"] = "key \"rndc-key\" {\n";
                           return false;
                       };
                   },
                   Until("Generating rndc.key ...", "rndc.key not generated!"), true, 1, kStopCalls},
        FailureRow{"KeyTheSearchCannotSee", [](FakePlatform& p) { p.invisible.insert(kEtc + kSep + "rndc.key"); },
                   Until("Generating rndc.key ...", "rndc.key not generated!"), true, 1, kStopCalls},
        FailureRow{"KeyNotDeleted", [](FakePlatform& p) { p.undeletable.insert(kEtc + kSep + "rndc.key"); },
                   Until("Deleting rndc.key ...", "rndc.key not deleted!"), true, 1, kStopCalls},
        FailureRow{"RndcConfMissing", [](FakePlatform& p) { p.invisible.insert(kEtc + kSep + "rndc.conf"); },
                   Until("Writing rndc.conf ...", "rndc.conf not written!"), true, 1, kStopCalls},
        FailureRow{"NamedConfMissing", [](FakePlatform& p) { p.invisible.insert(kEtc + kSep + "named.conf"); },
                   Until("Writing named.conf ...", "named.conf not written!"), true, 1, kStopCalls},
        FailureRow{"LocalhostZoneMissing",
                   [](FakePlatform& p) { p.invisible.insert(kEtc + kSep + "localhost.zone"); },
                   Until("Writing localhost.zone ...", "localhost.zone not written!"), true, 1, kStopCalls},
        FailureRow{"NamedLocalMissing", [](FakePlatform& p) { p.invisible.insert(kEtc + kSep + "named.local"); },
                   Until("Writing named.local ...", "named.local not written!"), true, 1, kStopCalls},
        FailureRow{"StartFails", [](FakePlatform& p) { p.services["named"].canStart = false; },
                   Until("Starting service ...", "Service not started!"), true, 1,
                   kStopAndStartCalls}),
    [](const ::testing::TestParamInfo<FailureRow>& info) { return info.param.name; });

TEST(Sequence, TypicalRunStopsMovesWritesAndStarts) {
    FakePlatform platform = RunningBind();
    Console out(platform);
    EXPECT_TRUE(ConfigureServer(platform, out, false));
    out.Flush();
    EXPECT_EQ(platform.out, Lines(kSteps));
    EXPECT_EQ(NamedCalls(platform), kStopAndStartCalls);
    EXPECT_EQ(platform.services["named"].state, 4);
    EXPECT_EQ(platform.services["named"].startType, 2);
    EXPECT_EQ(platform.files[kBackup + kSep + "named.conf"], "old");
    EXPECT_EQ(platform.files.count(kEtc + kSep + "rndc.key"), 0u);
    for (const char* name : {"named.root", "rndc.conf", "named.conf", "localhost.zone", "named.local"}) {
        EXPECT_EQ(platform.files.count(kEtc + kSep + name), 1u) << name;
    }
    // Rename uses the folder names with their trailing separator.
    EXPECT_NE(std::find(platform.calls.begin(), platform.calls.end(),
                        "RenameFile(" + kEtc + kSep + "," + kBackup + kSep + ")"),
              platform.calls.end());
    EXPECT_NE(std::find(platform.calls.begin(), platform.calls.end(),
                        "DownloadFile(http://www.internic.net/zones/named.root," + kEtc + kSep + "named.root)"),
              platform.calls.end());
}

// A first run: no etc, named stopped. Twelve lines, and named is started
// only when asked to.
TEST(Sequence, FirstRunStartsNamedOnlyWithStart) {
    for (const bool start : {false, true}) {
        FakePlatform platform;
        platform.InstallBind(D);
        Console out(platform);
        EXPECT_TRUE(ConfigureServer(platform, out, start));
        out.Flush();
        std::vector<std::string> lines = {
            "Searching folder ...",     "Searching bin-folder ...", "Searching " + kGeneratorName + " ...",
            "Creating etc-folder ...",  "Downloading named.root ...", "Generating rndc.key ...",
            "Reading rndc.key ...",     "Deleting rndc.key ...",    "Writing rndc.conf ...",
            "Writing named.conf ...",   "Writing localhost.zone ...", "Writing named.local ..."};
        std::vector<std::string> calls = {"GetServiceState(named)"};
        if (start) {
            lines.push_back("Starting service ...");
            calls.insert(calls.end(), {"SetServiceStartType(named,2)", "StartServiceAndWait(named)", "Sleep(2000)"});
        }
        EXPECT_EQ(platform.out, Lines(lines)) << start;
        EXPECT_EQ(NamedCalls(platform), calls) << start;
    }
}

}  // namespace
}  // namespace zephrane
