// The Service Control Manager backend, against our own test service
// registered in the (Wine) system for each test. A service that refuses to
// stop, reports late, starts slowly or is paused, and the callers' lines, are
// rows of the scenario table (tests/scenarios/wine.py).
#include <gtest/gtest.h>

#include <chrono>

#include "platform/system_platform.h"
#include "platform/win32/handles.h"

namespace zephrane {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// test_service.exe beside this program.
std::string TestServicePath() {
    char path[MAX_PATH];
    const DWORD size = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string self(path, size);
    return self.substr(0, self.find_last_of('\\') + 1) + "test_service.exe";
}

// A test service registered for the length of one test.
class Registered {
public:
    Registered(std::string name, const std::string& behaviour, DWORD startType = SERVICE_DEMAND_START,
               const char* account = nullptr)
        : name_(std::move(name)) {
        Remove();  // a run that died may have left it
        const std::string command = "\"" + TestServicePath() + "\" " + behaviour;
        const ServiceHandle service(CreateServiceA(manager_.get(), name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                                                   SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                                   command.c_str(), nullptr, nullptr, nullptr, account, nullptr));
        EXPECT_NE(service, nullptr) << "CreateServiceA " << name_ << ": " << GetLastError();
    }
    Registered(const Registered&) = delete;
    Registered& operator=(const Registered&) = delete;
    ~Registered() { Remove(); }

    // The start type as the system stored it.
    DWORD StoredStartType() const {
        const std::string key = "System\\CurrentControlSet\\Services\\" + name_;
        DWORD value = 0;
        DWORD size = sizeof value;
        RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Start", RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    }
    // Marks the service for deletion; until it stops, it can be queried but not reconfigured.
    void MarkForDeletion() const {
        const ServiceHandle service(OpenServiceA(manager_.get(), name_.c_str(), DELETE));
        ASSERT_NE(service, nullptr);
        EXPECT_TRUE(DeleteService(service.get()));
    }

private:
    void Remove() const {
        const ServiceHandle service(OpenServiceA(manager_.get(), name_.c_str(), SERVICE_ALL_ACCESS));
        SERVICE_STATUS status{};
        if (service != nullptr && ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
            for (int i = 0; i < 50 && QueryServiceStatus(service.get(), &status) &&
                            status.dwCurrentState != SERVICE_STOPPED;
                 ++i) {
                Sleep(100);
            }
        }
        if (service != nullptr) {
            DeleteService(service.get());
        }
    }

    std::string name_;
    ServiceHandle manager_{OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
};

milliseconds Since(Clock::time_point begin) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - begin);
}

class ScmServices : public ::testing::Test {
protected:
    SystemPlatform system_;
};

TEST_F(ScmServices, UnknownNameFailsEverywhere) {
    EXPECT_EQ(system_.GetServiceState("zt_nosuch"), ServiceState::Absent);
    EXPECT_FALSE(system_.SetServiceStartType("zt_nosuch", StartType::Automatic));
    EXPECT_FALSE(system_.StartServiceAndWait("zt_nosuch"));
    EXPECT_FALSE(system_.StopServiceAndWait("zt_nosuch"));
    EXPECT_EQ(system_.ServiceAccount("zt_nosuch", {"bind"}).id, "");
}

// The account named's files are opened to.
TEST_F(ScmServices, AccountIsTheLogonAccountsSid) {
    const struct {
        const char* account;  // as registered; nullptr: the default, LocalSystem
        const char* sid;
    } rows[] = {
        {nullptr, ""},  // the system has full control anyway
        {"NT AUTHORITY\\LocalService", "S-1-5-19"},
        {".\\zt_nobody", ""},  // no such account
    };
    for (const auto& row : rows) {
        const Registered service("zt_account", "normal", SERVICE_DEMAND_START, row.account);
        EXPECT_EQ(system_.ServiceAccount("zt_account", {"bind"}).id, row.sid) << (row.account ? row.account : "-");
    }
}

TEST_F(ScmServices, StartAndStopRoundTrip) {
    const Registered service("zt_normal", "normal");
    EXPECT_EQ(system_.GetServiceState("zt_normal"), ServiceState::Stopped);

    EXPECT_TRUE(system_.SetServiceStartType("zt_normal", StartType::Automatic));
    EXPECT_EQ(service.StoredStartType(), 2u);
    auto begin = Clock::now();
    EXPECT_TRUE(system_.StartServiceAndWait("zt_normal"));
    EXPECT_GE(Since(begin), milliseconds(300)) << "waited through the pending states";
    EXPECT_EQ(system_.GetServiceState("zt_normal"), ServiceState::Running);
    EXPECT_TRUE(system_.StartServiceAndWait("zt_normal"));

    EXPECT_TRUE(system_.SetServiceStartType("zt_normal", StartType::OnDemand));
    EXPECT_EQ(service.StoredStartType(), 3u);
    begin = Clock::now();
    EXPECT_TRUE(system_.StopServiceAndWait("zt_normal"));
    EXPECT_GE(Since(begin), milliseconds(300));
    EXPECT_EQ(system_.GetServiceState("zt_normal"), ServiceState::Stopped);
    EXPECT_TRUE(system_.StopServiceAndWait("zt_normal"));
}

TEST_F(ScmServices, StartTypeAlreadySetNeedsNoChange) {
    const Registered service("zt_settled", "refuses-stop", SERVICE_AUTO_START);
    ASSERT_TRUE(system_.StartServiceAndWait("zt_settled"));
    // A running service marked for deletion refuses every change of its configuration.
    service.MarkForDeletion();
    EXPECT_TRUE(system_.SetServiceStartType("zt_settled", StartType::Automatic));
    EXPECT_FALSE(system_.SetServiceStartType("zt_settled", StartType::OnDemand)) << "a change was attempted";
}

TEST_F(ScmServices, StartThatFallsBackToStoppedEndsTheWait) {
    const Registered service("zt_failstart", "fails-start");
    const auto begin = Clock::now();
    EXPECT_FALSE(system_.StartServiceAndWait("zt_failstart"));
    EXPECT_LT(Since(begin), milliseconds(1500)) << "ended on the stopped state, not on a time limit";
    EXPECT_EQ(system_.GetServiceState("zt_failstart"), ServiceState::Stopped);
}

TEST_F(ScmServices, StartWithoutProgressEndsAfterTheStallLimit) {
    const Registered service("zt_stuck", "stuck");
    const auto begin = Clock::now();
    EXPECT_FALSE(system_.StartServiceAndWait("zt_stuck"));
    EXPECT_GE(Since(begin), milliseconds(2000));
    EXPECT_LT(Since(begin), milliseconds(6000));
    EXPECT_EQ(system_.GetServiceState("zt_stuck"), ServiceState::StartPending);
}

}  // namespace
}  // namespace zephrane
