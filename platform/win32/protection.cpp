// Who may change a folder or program the tool runs as administrator: on
// Windows, whoever its owner and its access rules let write, delete or
// change those rules, and who may move or replace it through the folders
// above it.
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
bool LetsOthersChange(const BYTE* entry, std::size_t size, const Trusted& trusted, DWORD rights) {
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
    return (ReadDword(entry + kMask) & rights) != 0 && !trusted.Includes(sid);
}

}  // namespace

bool OnlyTrustedMayChange(PSID owner, const ACL* dacl, DWORD rights) {
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
        if (size < sizeof(ACE_HEADER) || bytes + size > end || LetsOthersChange(bytes, size, trusted, rights)) {
            return false;
        }
    }
    return true;
}


namespace {

// One object on a path, opened without following a junction or link and
// held without delete sharing, so that nobody moves or removes it meanwhile;
// false when it is not what is wanted or others may change it.
bool HoldChecked(const std::string& path, bool folder, DWORD rights, std::vector<KernelHandle>& held) {
    const HANDLE handle =
        CreateFileA(path.c_str(), (folder ? FILE_LIST_DIRECTORY : GENERIC_READ) | READ_CONTROL | FILE_READ_ATTRIBUTES,
                    folder ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | (folder ? FILE_FLAG_BACKUP_SEMANTICS : 0), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    held.emplace_back(handle);
    BY_HANDLE_FILE_INFORMATION info{};
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder ||
        GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const std::unique_ptr<void, LocalFreer> owned(descriptor);
    return OnlyTrustedMayChange(owner, dacl, rights);
}

// How much of `path` names the root of its file system: "C:\" or
// "\\server\share\"; 0 for anything else.
std::size_t RootLength(const std::string& path) {
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
        return 3;
    }
    const std::size_t server = path.starts_with("\\\\") ? path.find('\\', 2) : std::string::npos;
    const std::size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
    return share == std::string::npos ? 0 : share + 1;
}

// Every folder from the root down to `path`, then `path` itself, checked
// and held; empty when one fails.
std::vector<KernelHandle> HoldPath(const std::string& path, bool program) {
    std::vector<std::string> names;
    const std::size_t root = RootLength(path);
    for (std::size_t at = root; root != 0 && at < path.size();) {
        const std::size_t end = std::min(path.find('\\', at), path.size());
        if (end > at) {
            names.push_back(path.substr(at, end - at));
        }
        at = end + 1;
    }
    std::vector<KernelHandle> held;
    std::string current = path.substr(0, root);
    if (names.empty() || !HoldChecked(current, true, kAboveRights, held)) {
        return {};
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        current += names[i] + (last && program ? "" : "\\");
        if (!HoldChecked(current, !(last && program), last ? kChangeRights : kAboveRights, held)) {
            return {};
        }
    }
    return held;
}

class HeldPath final : public Hold {
public:
    explicit HeldPath(std::vector<KernelHandle> held) : held_(std::move(held)) {}

private:
    std::vector<KernelHandle> held_;
};

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

std::unique_ptr<Hold> SystemPlatform::HoldProtectedFolder(const std::string& path) {
    std::vector<KernelHandle> held = HoldPath(path, false);
    return held.empty() ? nullptr : std::make_unique<HeldPath>(std::move(held));
}

std::unique_ptr<Program> SystemPlatform::HoldProtectedProgram(const std::string& path) {
    std::vector<KernelHandle> held = HoldPath(path, true);
    return held.empty() ? nullptr : std::make_unique<Win32Program>(path, std::move(held));
}

}  // namespace zephrane
