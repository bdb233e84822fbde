// The systemd backend against a systemctl stand-in on PATH
// (tests/fixtures/systemctl), and the helper that runs systemctl.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/posix/run_capture.h"
#include "platform/posix/services.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

namespace fs = std::filesystem;
using std::chrono::steady_clock;

class SystemdServices : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zephrane-systemctl-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ::setenv("PATH", (std::string(ZEPHRANE_STANDIN_DIR) + ":" + path_).c_str(), 1);
        ::setenv("STANDIN_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", path_.c_str(), 1);
        fs::remove_all(dir_);
    }
    // The unit's stand-in files: name, content.
    void Unit(const std::string& unit, std::initializer_list<std::pair<const char*, const char*>> files) {
        fs::remove_all(dir_ / unit);
        fs::create_directories(dir_ / unit);
        for (const auto& [name, content] : files) {
            std::ofstream(dir_ / unit / name) << content << '\n';
        }
    }

    SystemPlatform system_;
    fs::path dir_;
    const std::string path_ = std::getenv("PATH");
};

TEST_F(SystemdServices, StateOfTheUnitAndOnlyAMissingOneIsAbsent) {
    using S = ServiceState;
    const struct {
        const char* load;
        const char* active;
        S state;
    } rows[] = {
        {"loaded", "active", S::Running},         {"loaded", "reloading", S::Running},
        {"loaded", "activating", S::StartPending}, {"loaded", "deactivating", S::StopPending},
        {"loaded", "inactive", S::Stopped},       {"loaded", "failed", S::Stopped},
        {"masked", "inactive", S::Stopped},       {"not-found", "inactive", S::Absent},
        {"bad-setting", "inactive", S::Unknown},  {"loaded", "maintenance", S::Unknown},
    };
    for (const auto& row : rows) {
        Unit("named", {{"load", row.load}, {"active", row.active}, {"unit-file", "enabled"}});
        EXPECT_EQ(system_.GetServiceState("named"), row.state) << row.load << " " << row.active;
        // A start type is only what a known unit says.
        const bool known = row.state != S::Absent && row.state != S::Unknown;
        EXPECT_EQ(system_.GetServiceStartType("named"), known ? std::optional(StartType::Automatic) : std::nullopt);
    }
    // Unknown units, a failing systemctl and no service manager are rows of the
    // scenario table; no systemctl on PATH, of the test below.
}

TEST_F(SystemdServices, StartTypeIsTheUnitFileStateAfterwards) {
    const struct {
        const char* before;
        bool isStatic;
        StartType wanted;
        bool result;
    } rows[] = {
        {"disabled", false, StartType::Automatic, true}, {"enabled", false, StartType::OnDemand, true},
        {"enabled", false, StartType::Automatic, true},  {"static", true, StartType::Automatic, false},
    };
    for (const auto& row : rows) {
        // A static unit has a file of that name; the others load as they would by default.
        Unit("named",
             {{"active", "inactive"}, {"unit-file", row.before}, {row.isStatic ? "static" : "load", "loaded"}});
        EXPECT_EQ(system_.SetServiceStartType("named", row.wanted), row.result) << row.before;
    }
}

// Accepted, then failed: the wait ends on seeing it, long before its deadline.
TEST_F(SystemdServices, AStartThatFailsEndsTheWait) {
    Unit("named", {{"active", "inactive"}, {"start-leaves", "activating\nactivating\nfailed"}});
    const auto begin = steady_clock::now();
    EXPECT_FALSE(system_.StartServiceAndWait("named"));
    EXPECT_LT(steady_clock::now() - begin, std::chrono::seconds(20));
}

// Every systemctl call counts against the change's time: 1.5 s here, for
// calls that take a second each.
TEST_F(SystemdServices, AChangeEndsInItsTimeWhateverItsCallsTake) {
    Unit("named", {{"active", "inactive"}});
    std::ofstream(dir_ / "delay") << "1\n";
    const auto begin = steady_clock::now();
    EXPECT_FALSE(ChangeUnit(system_, "named", true, ServiceWaitLimits{100, 100, 1500, 1500, false}));
    EXPECT_LT(steady_clock::now() - begin, std::chrono::milliseconds(2500));
    // The call cut off at the bound was ended: it does not start the unit later.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(std::ifstream(dir_ / "named" / "active").get(), 'i');
}

// systemctl runs as root: never one from the working folder (an empty or a
// relative PATH entry), nor one that others may change or replace; none on
// PATH is no service manager at all.
TEST_F(SystemdServices, OnlyASystemctlThatOnlyRootMayChangeRuns) {
    const std::string open = (dir_ / "open").string();
    const struct {
        std::string path;
        const char* folder;
        fs::perms folderMode, fileMode;
        ServiceState state;
    } rows[] = {
        {":/nonexistent", ".", fs::perms(0700), fs::perms(0755), ServiceState::Absent},
        {"bin:/nonexistent", "bin", fs::perms(0755), fs::perms(0755), ServiceState::Absent},
        {open, "open", fs::perms(0755), fs::perms(0757), ServiceState::Unknown},
        {open, "open", fs::perms(0777), fs::perms(0755), ServiceState::Unknown},
    };
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    for (const auto& row : rows) {
        fs::create_directories(dir_ / row.folder);
        std::ofstream(dir_ / row.folder / "systemctl") << "#!/bin/sh\necho >\"$STANDIN_DIR/ran\"\n";
        fs::permissions(dir_ / row.folder / "systemctl", row.fileMode);
        fs::permissions(dir_ / row.folder, row.folderMode);
        ::setenv("PATH", row.path.c_str(), 1);
        EXPECT_EQ(system_.GetServiceState("named"), row.state) << row.path;
        EXPECT_FALSE(fs::remove(dir_ / "ran")) << row.path << ": the planted one ran";
    }
    fs::current_path(previous);
}

TEST(RunCapture, GivesStatusAndOutputAndEndsWhatOutlivesItsTime) {
    // Arguments as given (no shell), empty input, errors with the output.
    const std::optional<Captured> got = RunCapture(
        "/bin/sh", {"-c", "cat; echo err >&2; printf '%s|' \"$@\"; exit 3", "x", "a b", "*", "$HOME"}, 10000);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->exitStatus, 3);
    EXPECT_EQ(got->output, "err\na b|*|$HOME|");
    EXPECT_FALSE(RunCapture("/nonexistent/program", {}, 10000));
    const auto begin = steady_clock::now();
    EXPECT_EQ(RunCapture("/bin/sleep", {"30"}, 300)->exitStatus, -1);
    // Its output closed first.
    EXPECT_EQ(RunCapture("/bin/sh", {"-c", "exec >&- 2>&-; sleep 30"}, 300)->exitStatus, -1);
    EXPECT_LT(steady_clock::now() - begin, std::chrono::seconds(5));
}

}  // namespace
}  // namespace zephrane
