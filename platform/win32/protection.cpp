// Who may change a folder or program the tool runs as administrator: on
// Windows, whoever its owner and its access rules let write, delete or
// change those rules.
#include "platform/win32/protection.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/system_platform.h"
#include "platform/win32/handles.h"

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

DWORD ReadDword(const BYTE* at) {
    DWORD value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Whether one entry, `size` bytes at `entry`, lets someone untrusted change
// the object itself. Denying entries are skipped. Every kind of entry that
// grants keeps its mask right after the header; a callback entry grants when
// its condition holds, so it is judged as if it always did. An entry of a
// kind not known here, or whose account does not lie whole within it,
// counts as granting everything to anyone.
bool LetsOthersChange(const BYTE* entry, std::size_t size, const Trusted& trusted) {
    const auto& header = *reinterpret_cast<const ACE_HEADER*>(entry);
    if ((header.AceFlags & INHERIT_ONLY_ACE) != 0) {
        return false;  // only for what a folder will hold
    }
    constexpr std::size_t kMask = sizeof(ACE_HEADER);
    constexpr std::size_t kObjectFlags = kMask + sizeof(ACCESS_MASK);
    std::size_t account = kObjectFlags;
    switch (header.AceType) {
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: return false;
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: break;
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: {
        // The flags, then the two object types that they say are there.
        if (size < kObjectFlags + sizeof(DWORD)) {
            return true;
        }
        const DWORD flags = ReadDword(entry + kObjectFlags);
        account += sizeof(DWORD) + sizeof(GUID) * (((flags & ACE_OBJECT_TYPE_PRESENT) != 0) +
                                                   ((flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) != 0));
        break;
    }
    default: return true;
    }
    // A SID's second byte counts the parts that follow its fixed start.
    auto* sid = const_cast<BYTE*>(entry + account);
    if (account + GetSidLengthRequired(0) > size || account + GetSidLengthRequired(sid[1]) > size ||
        !IsValidSid(sid)) {
        return true;
    }
    return (ReadDword(entry + kMask) & kChangeRights) != 0 && !trusted.Includes(sid);
}

bool ProtectedOnDisk(const std::string& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const std::unique_ptr<void, LocalFreer> owned(descriptor);
    return OnlyTrustedMayChange(owner, dacl);
}

}  // namespace

bool OnlyTrustedMayChange(PSID owner, const ACL* dacl) {
    const Trusted trusted;
    if (dacl == nullptr || owner == nullptr || !trusted.Includes(owner)) {
        return false;
    }
    const auto* end = reinterpret_cast<const BYTE*>(dacl) + dacl->AclSize;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(const_cast<ACL*>(dacl), i, &entry)) {
            return false;
        }
        const auto* bytes = static_cast<const BYTE*>(entry);
        if (bytes + sizeof(ACE_HEADER) > end) {
            return false;
        }
        const std::size_t size = reinterpret_cast<const ACE_HEADER*>(bytes)->AceSize;
        if (size < sizeof(ACE_HEADER) || bytes + size > end || LetsOthersChange(bytes, size, trusted)) {
            return false;
        }
    }
    return true;
}

bool SystemPlatform::IsProtectedFolder(const std::string& path) { return ProtectedOnDisk(path); }

bool SystemPlatform::IsProtectedProgram(const std::string& path) { return ProtectedOnDisk(path); }

}  // namespace zephrane
