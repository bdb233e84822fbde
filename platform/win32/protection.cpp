// Who may change a folder or program the tool runs as administrator: on
// Windows, whoever its owner and its access rules let write, delete or
// change those rules.
#include "platform/win32/win32_api.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/system_platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/protection.h"

namespace zephrane {
namespace {

constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// The account that installs and updates Windows itself.
constexpr const char* kTrustedInstaller = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};

// The system, the administrators, Windows' installer and the account this runs as.
class Trusted {
public:
    Trusted() {
        PSID installer = nullptr;
        if (ConvertStringSidToSidA(kTrustedInstaller, &installer)) {
            installer_.reset(installer);
        }
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            const KernelHandle owned(token);
            DWORD size = 0;
            GetTokenInformation(token, TokenUser, nullptr, 0, &size);
            user_.resize(size);
            if (!GetTokenInformation(token, TokenUser, user_.data(), size, &size)) {
                user_.clear();
            }
        }
    }
    bool Includes(PSID sid) const {
        const PSID user = user_.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid;
        return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
               (installer_ && EqualSid(sid, installer_.get())) || (user != nullptr && EqualSid(sid, user));
    }

private:
    std::unique_ptr<void, LocalFreer> installer_;
    std::vector<BYTE> user_;
};

bool OnlyTrustedMayChange(const std::string& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const std::unique_ptr<void, LocalFreer> owned(descriptor);
    const Trusted trusted;
    // No access rules at all let everyone do everything; the owner may change the rules.
    if (dacl == nullptr || owner == nullptr || !trusted.Includes(owner)) {
        return false;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) {
            return false;
        }
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        const bool applies = (ace->Header.AceFlags & INHERIT_ONLY_ACE) == 0;
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && applies && (ace->Mask & kChangeRights) != 0 &&
            !trusted.Includes(const_cast<DWORD*>(&ace->SidStart))) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool HasTrustedOwner(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const std::unique_ptr<void, LocalFreer> owned(descriptor);
    return owner != nullptr && Trusted().Includes(owner);
}

bool SystemPlatform::IsProtectedFolder(const std::string& path) { return OnlyTrustedMayChange(path); }

bool SystemPlatform::IsProtectedProgram(const std::string& path) { return OnlyTrustedMayChange(path); }

}  // namespace zephrane
