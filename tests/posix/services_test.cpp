// The systemd backend against a systemctl stand-in on PATH
// (tests/fixtures/systemctl), and the helper that runs systemctl.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/posix/run_capture.h"
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
        Unit("named", {{"load", row.load}, {"active", row.active}});
        EXPECT_EQ(system_.GetServiceState("named"), row.state) << row.load << " " << row.active;
    }
    // Unknown units, a failing systemctl and no service manager are rows of the scenario table.
    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(system_.GetServiceState("named"), S::Absent) << "no systemctl at all";
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
        Unit("named", {{"active", "inactive"}, {"unit-file", row.before}});
        if (row.isStatic) {
            std::ofstream(dir_ / "named" / "static").close();
        }
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

TEST(RunCapture, GivesStatusAndOutputAndEndsWhatOutlivesItsTime) {
    // Arguments as given (no shell), empty input, errors with the output.
    const std::optional<Captured> got =
        RunCapture("sh", {"-c", "cat; echo err >&2; printf '%s|' \"$@\"; exit 3", "x", "a b", "*", "$HOME"}, 10000);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->exitStatus, 3);
    EXPECT_EQ(got->output, "err\na b|*|$HOME|");
    EXPECT_FALSE(RunCapture("zephrane-no-such-program", {}, 10000));
    const auto begin = steady_clock::now();
    EXPECT_EQ(RunCapture("sleep", {"30"}, 300)->exitStatus, -1);
    EXPECT_EQ(RunCapture("sh", {"-c", "exec >&- 2>&-; sleep 30"}, 300)->exitStatus, -1);  // its output closed first
    EXPECT_LT(steady_clock::now() - begin, std::chrono::seconds(5));
}

}  // namespace
}  // namespace zephrane
