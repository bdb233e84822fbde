#include "platform/win32/win32_api.h"

#include <sddl.h>

#include <chrono>

#include "platform/holds.h"
#include "platform/paths.h"
#include "platform/system_platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/sddl.h"

namespace zephrane {
namespace {

constexpr std::chrono::milliseconds kLockPoll{100};

// The lock is a file in the installation folder, which only administrators
// may change (the run refuses any other): one run at a time opens it (no
// sharing), nobody else may open it for more than its attributes (so nobody
// can hold it against a run), and the system closes it when its holder
// ends, however it ends. It stays when the run ends: a file deleted on close
// that someone (a scanner, an indexer) opened for its attributes meanwhile
// stays "delete pending" after its holder, and refuses every later run.
// A named object would not do: anybody may create one in Global\ first and
// keep runs waiting or failing.
constexpr const char* kLockFileName = "zephrane.lock";

class HeldFile final : public Hold {
public:
    explicit HeldFile(KernelHandle file) : file_(std::move(file)) {}

private:
    KernelHandle file_;
};


}  // namespace

std::unique_ptr<Hold> LockFolderWithin(const std::string& path, std::chrono::milliseconds wait) {
    // SYSTEM and Administrators only: what the folder passes on lets every user read.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(FileSddl(FileAccess::Secret, {}).c_str(),
                                                              SDDL_REVISION_1, &descriptor, nullptr)) {
        return nullptr;
    }
    const UniqueHandle<PSECURITY_DESCRIPTOR, LocalFree> owned(descriptor);
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    const std::string lockPath = StripTrailingSeparator(path) + kPathSeparator + kLockFileName;
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const HANDLE file = CreateFileA(lockPath.c_str(), GENERIC_READ, 0, &security, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return std::make_unique<HeldFile>(KernelHandle(file));
        }
        // Denied: not an administrator, which waiting does not mend.
        if (GetLastError() != ERROR_SHARING_VIOLATION || std::chrono::steady_clock::now() >= until) {
            return nullptr;
        }
        Sleep(static_cast<DWORD>(kLockPoll.count()));
    }
}

}  // namespace zephrane
