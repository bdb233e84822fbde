// The systemd backend against a systemctl stand-in on PATH.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/system_platform.h"

namespace zephrane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const std::string kShow = " --property=ActiveState,LoadState,UnitFileState";

class SystemdServices : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zephrane-systemctl-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        oldPath_ = std::getenv("PATH");
        ::setenv("PATH", (std::string(ZEPHRANE_STANDIN_DIR) + ":" + oldPath_).c_str(), 1);
        ::setenv("STANDIN_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", oldPath_.c_str(), 1);
        fs::remove_all(dir_);
    }

    // Writes <unit>/<file> with one line per entry.
    void Unit(const std::string& unit, const std::string& file, const Lines& lines) {
        fs::create_directories(dir_ / unit);
        std::ofstream out(dir_ / unit / file);
        for (const std::string& line : lines) {
            out << line << '\n';
        }
    }
    // The calls the stand-in saw since the last look.
    Lines Calls() {
        Lines calls;
        std::ifstream in(dir_ / "calls");
        for (std::string line; std::getline(in, line);) {
            calls.push_back(line);
        }
        fs::remove(dir_ / "calls");
        return calls;
    }

    SystemPlatform system_;
    fs::path dir_;
    std::string oldPath_;
};

TEST_F(SystemdServices, StateFollowsActiveAndLoadState) {
    const struct {
        const char* load;
        const char* active;
        ServiceState state;
    } cases[] = {
        {"loaded", "active", ServiceState::Running},
        {"loaded", "reloading", ServiceState::Running},
        {"loaded", "activating", ServiceState::StartPending},
        {"loaded", "deactivating", ServiceState::StopPending},
        {"loaded", "inactive", ServiceState::Stopped},
        {"loaded", "failed", ServiceState::Stopped},
        {"masked", "inactive", ServiceState::Stopped},
        {"not-found", "inactive", ServiceState::Absent},
        {"bad-setting", "inactive", ServiceState::Unknown},
        {"error", "active", ServiceState::Unknown},
        {"loaded", "maintenance", ServiceState::Unknown},
    };
    for (const auto& c : cases) {
        Unit("named", "load", {c.load});
        Unit("named", "active", {c.active});
        EXPECT_EQ(system_.GetServiceState("named"), c.state) << c.load << " " << c.active;
        EXPECT_EQ(Calls(), Lines{"show named" + kShow});
    }
}

TEST_F(SystemdServices, DnscacheIsSystemdResolvedAndOnlyAMissingUnitIsAbsent) {
    Unit("systemd-resolved", "active", {"active"});
    EXPECT_EQ(system_.GetServiceState("Dnscache"), ServiceState::Running);
    EXPECT_EQ(Calls(), Lines{"show systemd-resolved" + kShow});

    EXPECT_EQ(system_.GetServiceState("nosuch"), ServiceState::Absent);
    EXPECT_FALSE(system_.SetServiceStartType("nosuch", StartType::Automatic));
    EXPECT_FALSE(system_.StartServiceAndWait("nosuch"));
    EXPECT_FALSE(system_.StopServiceAndWait("nosuch"));
    EXPECT_EQ(Calls(), Lines(4, "show nosuch" + kShow)) << "nothing is changed on a unit that is not there";

    // systemctl failing for a reason of its own: the state is unknown.
    Unit("named", "active", {"active"});
    Unit("named", "show-exit", {"1"});
    EXPECT_EQ(system_.GetServiceState("named"), ServiceState::Unknown);
    // No service manager to ask: nothing runs as a service here.
    std::ofstream(dir_ / "not-booted").close();
    EXPECT_EQ(system_.GetServiceState("named"), ServiceState::Absent) << "not booted with systemd";
    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(system_.GetServiceState("named"), ServiceState::Absent) << "no systemctl at all";
}

TEST_F(SystemdServices, StartTypeIsEnabledOrDisabled) {
    const struct {
        const char* name;
        const char* before;
        bool isStatic;
        StartType startType;
        bool result;
        Lines calls;
    } cases[] = {
        {"enable", "disabled", false, StartType::Automatic, true,
         {"show named" + kShow, "enable named", "show named" + kShow}},
        {"disable", "enabled", false, StartType::OnDemand, true,
         {"show named" + kShow, "disable named", "show named" + kShow}},
        {"already enabled", "enabled", false, StartType::Automatic, true, {"show named" + kShow}},
        {"already disabled", "disabled", false, StartType::OnDemand, true, {"show named" + kShow}},
        {"static unit", "static", true, StartType::Automatic, false,
         {"show named" + kShow, "enable named", "show named" + kShow}},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir_ / "named");
        Unit("named", "active", {"inactive"});
        Unit("named", "unit-file", {c.before});
        if (c.isStatic) {
            Unit("named", "static", {});
        }
        EXPECT_EQ(system_.SetServiceStartType("named", c.startType), c.result) << c.name;
        EXPECT_EQ(Calls(), c.calls) << c.name;
    }
}

TEST_F(SystemdServices, StartAndStopRoundTrip) {
    Unit("named", "active", {"inactive"});
    EXPECT_TRUE(system_.StopServiceAndWait("named"));
    EXPECT_EQ(Calls(), Lines{"show named" + kShow}) << "already stopped: no stop";

    EXPECT_TRUE(system_.StartServiceAndWait("named"));
    EXPECT_EQ(Calls(), (Lines{"show named" + kShow, "start named", "show named" + kShow}));
    EXPECT_EQ(system_.GetServiceState("named"), ServiceState::Running);
    EXPECT_TRUE(system_.StartServiceAndWait("named"));
    Calls();

    Unit("named", "stop-leaves", {"deactivating", "deactivating", "inactive"});
    EXPECT_TRUE(system_.StopServiceAndWait("named"));
    EXPECT_EQ(Calls(), (Lines{"show named" + kShow, "stop named", "show named" + kShow, "show named" + kShow,
                              "show named" + kShow}));
    EXPECT_EQ(system_.GetServiceState("named"), ServiceState::Stopped);
}

TEST_F(SystemdServices, StartThatFailsEndsTheWaitWithFalse) {
    Unit("named", "active", {"inactive"});
    Unit("named", "start-exit", {"1"});
    EXPECT_FALSE(system_.StartServiceAndWait("named"));
    EXPECT_EQ(Calls(), (Lines{"show named" + kShow, "start named"}));

    // Accepted, then the unit settles in failed: the wait ends on seeing it.
    fs::remove(dir_ / "named" / "start-exit");
    Unit("named", "start-leaves", {"activating", "activating", "failed"});
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(system_.StartServiceAndWait("named"));
    EXPECT_EQ(Calls().size(), 5u);  // show, start, and a show for each state
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20)) << "far from the deadline";
}

}  // namespace
}  // namespace zephrane
