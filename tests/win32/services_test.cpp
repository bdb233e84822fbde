// The account the Service Control Manager backend opens named's files to:
// the scenario table registers its services as LocalSystem only, and Wine
// keeps no DACL entry of another account that a run could be checked by.
// Starting, stopping, refusals, late reports, slow starts, pauses and start
// types are rows of the scenario table (tests/scenarios/wine.py).
#include <gtest/gtest.h>

#include "platform/system_platform.h"
#include "platform/win32/handles.h"

namespace zephrane {
namespace {

// Deletes service `name` where it is registered; a test that died may have left it.
void Unregister(SC_HANDLE manager, const char* name) {
    const ServiceHandle service(OpenServiceA(manager, name, DELETE));
    if (service != nullptr) {
        DeleteService(service.get());
    }
}

TEST(ScmServices, AccountIsTheLogonAccountsSid) {
    const struct {
        const char* account;  // as registered; nullptr: the default, LocalSystem
        const char* sid;  // "?": cannot be resolved
    } rows[] = {
        {nullptr, ""},  // the system has full control anyway
        {"NT AUTHORITY\\LocalService", "S-1-5-19"},
        {".\\zt_nobody", "?"},  // no such account: who may enter etc is not known
    };
    const ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_NE(manager, nullptr);
    SystemPlatform system;
    for (const auto& row : rows) {
        Unregister(manager.get(), "zt_account");
        const ServiceHandle service(CreateServiceA(manager.get(), "zt_account", "zt_account", SERVICE_ALL_ACCESS,
                                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                   SERVICE_ERROR_NORMAL, "C:\\never-started.exe", nullptr, nullptr,
                                                   nullptr, row.account, nullptr));
        ASSERT_NE(service, nullptr) << GetLastError();
        const std::optional<Account> account = system.ServiceAccount("zt_account");
        EXPECT_EQ(account ? account->id : "?", row.sid) << (row.account ? row.account : "-");
    }
    Unregister(manager.get(), "zt_account");
    EXPECT_EQ(system.ServiceAccount("zt_account").value_or(Account{"?"}).id, "") << "no such service";
}

}  // namespace
}  // namespace zephrane
