// The access rules of what a run creates, as whole security descriptor
// strings, for named running as a service account and as LocalSystem; and
// who may change what a descriptor guards.
#include "platform/win32/win32_api.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/win32/protection.h"
#include "platform/win32/sddl.h"

namespace zephrane {
namespace {

// "Modify": read, write, execute and delete, as the Explorer grants it; on etc itself, no delete.
static_assert((FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE) == 0x1301bf);
static_assert((FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE) == 0x1201bf);

TEST(Sddl, AdministratorsAndNamedOnly) {
    const Account service{"S-1-5-19"};
    const Account system{};  // LocalSystem: nobody besides the administrators
    const struct { const char* what; std::string sddl; const char* expected; } rows[] = {
        {"new folder", NewFolderSddl(), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"},
        {"etc, service", FolderSddl(service),
         "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1201bf;;;S-1-5-19)(A;OICIIO;0x1301bf;;;S-1-5-19)"},
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

// Rules of one entry that grants full control, given raw (Wine's SDDL parser
// knows no object or callback entries): `rest` follows the mask (an object
// entry's flags and object type, the account, a callback's condition).
std::vector<BYTE> Grant(BYTE type, std::initializer_list<std::vector<BYTE>> rest) {
    std::vector<BYTE> acl(sizeof(ACL)), entry{type, 0, 0, 0, 0xff, 0x01, 0x1f, 0x00};
    for (const auto& part : rest) {
        entry.insert(entry.end(), part.begin(), part.end());
    }
    entry[2] = static_cast<BYTE>(entry.size());
    acl.insert(acl.end(), entry.begin(), entry.end());
    const ACL header{ACL_REVISION_DS, 0, static_cast<WORD>(acl.size()), 1, 0};
    std::memcpy(acl.data(), &header, sizeof header);
    return acl;
}

TEST(Protection, OnlyTrustedAccountsMayChange) {
    const std::vector<BYTE> everyone{1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}, system{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    const std::vector<BYTE> objectType{ACE_OBJECT_TYPE_PRESENT, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14,
                                       15, 16};  // flags, then the type
    const struct { const char* what; const char* sddl; std::vector<BYTE> raw; bool isProtected; } rows[] = {
        {"administrators only", "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)", {}, true},
        {"everyone may write", "O:BAD:(A;;FA;;;SY)(A;;FW;;;WD)", {}, false},
        {"everyone may read", "O:BAD:(A;;FA;;;SY)(A;;FR;;;WD)", {}, true},
        {"everyone's write only inherited", "O:BAD:(A;;FA;;;SY)(A;OICIIO;FA;;;WD)", {}, true},
        {"everyone denied", "O:BAD:(A;;FA;;;SY)(D;;FA;;;WD)", {}, true},
        {"owned by everyone", "O:WDD:(A;;FA;;;SY)", {}, false},
        {"no rules", "O:BA", {}, false},  // Wine reads "D:NO_ACCESS_CONTROL" as no entries
        {"conditional grant to everyone", "O:BA",
         Grant(ACCESS_ALLOWED_CALLBACK_ACE_TYPE, {everyone, {'a', 'r', 't', 'x'}}), false},
        {"object grant to everyone", "O:BA", Grant(ACCESS_ALLOWED_OBJECT_ACE_TYPE, {objectType, everyone}), false},
        {"object grant to the system", "O:BA", Grant(ACCESS_ALLOWED_OBJECT_ACE_TYPE, {objectType, system}), true},
        {"unknown grant to the system", "O:BA", Grant(ACCESS_ALLOWED_COMPOUND_ACE_TYPE, {system}), false},
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
        const auto* rules = row.raw.empty() ? dacl : reinterpret_cast<const ACL*>(row.raw.data());
        EXPECT_EQ(OnlyTrustedMayChange(owner, rules), row.isProtected) << row.what;
    }
}

}  // namespace
}  // namespace zephrane
