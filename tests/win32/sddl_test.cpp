// The access rules of what a run creates, as whole security descriptor
// strings, for named running as a service account and as LocalSystem.
#include "platform/win32/win32_api.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include "platform/win32/sddl.h"

namespace zephrane {
namespace {

// "Modify": read, write, execute and delete, as the Explorer grants it.
static_assert((FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE) == 0x1301bf);

TEST(Sddl, AdministratorsAndNamedOnly) {
    const Account service{"S-1-5-19"};
    const Account system{};  // LocalSystem: nobody besides the administrators
    const struct { const char* what; std::string sddl; const char* expected; } rows[] = {
        {"new folder", NewFolderSddl(), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"},
        {"etc, service", FolderSddl(service), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;S-1-5-19)"},
        {"etc, system", FolderSddl(system), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"},
        {"secret, service", FileSddl(FileAccess::Secret, service), "D:P(A;;FA;;;SY)(A;;FA;;;BA)"},
        {"server reads, service", FileSddl(FileAccess::ServerReads, service),
         "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;S-1-5-19)"},
        {"server reads, system", FileSddl(FileAccess::ServerReads, system), "D:P(A;;FA;;;SY)(A;;FA;;;BA)"},
        {"plain, service", FileSddl(FileAccess::Plain, service), ""},  // what etc passes on
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.sddl, row.expected) << row.what;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        EXPECT_TRUE(row.sddl.empty() || ConvertStringSecurityDescriptorToSecurityDescriptorA(
                                            row.sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) << row.what;
        LocalFree(descriptor);
    }
}

}  // namespace
}  // namespace zephrane
