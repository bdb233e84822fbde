// The access rules of what a run creates, as whole security descriptor
// strings, for named running as a service account and as LocalSystem; and
// who may change what a descriptor guards.
#include "platform/win32/win32_api.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/win32/protection.h"
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

// An entry that grants full control, as raw bytes (Wine's SDDL parser knows
// no object or callback entries): the bytes between mask and account (an
// object entry's flags and object type), the account, what follows it.
std::vector<BYTE> Grant(BYTE type, const std::vector<BYTE>& middle, const std::vector<BYTE>& sid,
                        const std::vector<BYTE>& tail = {}) {
    std::vector<BYTE> entry{type, 0, 0, 0, 0xff, 0x01, 0x1f, 0x00};
    for (const auto* part : {&middle, &sid, &tail}) {
        entry.insert(entry.end(), part->begin(), part->end());
    }
    entry[2] = static_cast<BYTE>(entry.size());
    return entry;
}

TEST(Protection, OnlyTrustedAccountsMayChange) {
    const std::vector<BYTE> everyone{1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    const std::vector<BYTE> system{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    std::vector<BYTE> objectType(20, 0x5a);
    objectType[0] = ACE_OBJECT_TYPE_PRESENT;
    objectType[1] = objectType[2] = objectType[3] = 0;
    const char* system_only = "O:BAD:(A;;FA;;;SY)";
    const struct { const char* what; const char* sddl; std::vector<BYTE> extra; bool isProtected; } rows[] = {
        {"administrators only", "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)", {}, true},
        {"everyone may write", "O:BAD:(A;;FA;;;SY)(A;;FW;;;WD)", {}, false},
        {"everyone may read", "O:BAD:(A;;FA;;;SY)(A;;FR;;;WD)", {}, true},
        {"everyone's write only inherited", "O:BAD:(A;;FA;;;SY)(A;OICIIO;FA;;;WD)", {}, true},
        {"everyone denied", "O:BAD:(A;;FA;;;SY)(D;;FA;;;WD)", {}, true},
        {"owned by everyone", "O:WDD:(A;;FA;;;SY)", {}, false},
        {"no rules", "O:BA", {}, false},  // Wine reads "D:NO_ACCESS_CONTROL" as no entries
        {"conditional grant to everyone", system_only,
         Grant(ACCESS_ALLOWED_CALLBACK_ACE_TYPE, {}, everyone, {'a', 'r', 't', 'x'}), false},
        {"object grant to everyone", system_only, Grant(ACCESS_ALLOWED_OBJECT_ACE_TYPE, objectType, everyone), false},
        {"object grant to the system", system_only, Grant(ACCESS_ALLOWED_OBJECT_ACE_TYPE, objectType, system), true},
        {"unknown grant to the system", system_only, Grant(ACCESS_ALLOWED_COMPOUND_ACE_TYPE, {}, system), false},
    };
    for (const auto& row : rows) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(row.sddl, SDDL_REVISION_1, &descriptor,
                                                                         nullptr)) << row.what;
        const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, LocalFree);
        PSID owner = nullptr;
        PACL dacl = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
                    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) << row.what;
        std::vector<BYTE> rules(row.extra.empty() ? 0 : dacl->AclSize + row.extra.size());
        void* plain = nullptr;
        if (!rules.empty()) {  // the plain entries, then the raw one
            const auto rulesAcl = reinterpret_cast<PACL>(rules.data());
            ASSERT_TRUE(InitializeAcl(rulesAcl, static_cast<DWORD>(rules.size()), ACL_REVISION_DS) &&
                        GetAce(dacl, 0, &plain) &&
                        AddAce(rulesAcl, ACL_REVISION_DS, MAXDWORD, plain, dacl->AclSize - sizeof(ACL)) &&
                        AddAce(rulesAcl, ACL_REVISION_DS, MAXDWORD, const_cast<BYTE*>(row.extra.data()),
                               static_cast<DWORD>(row.extra.size()))) << row.what;
            dacl = rulesAcl;
        }
        EXPECT_EQ(OnlyTrustedMayChange(owner, dacl), row.isProtected) << row.what;
    }
}

}  // namespace
}  // namespace zephrane
