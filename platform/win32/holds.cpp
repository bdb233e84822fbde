#include "platform/win32/win32_api.h"

#include <cstdint>
#include <cstdio>

#include "platform/holds.h"
#include "platform/paths.h"
#include "platform/system_platform.h"
#include "platform/win32/handles.h"

namespace zephrane {
namespace {

class HeldMutex final : public Hold {
public:
    explicit HeldMutex(KernelHandle mutex) : mutex_(std::move(mutex)) {}
    HeldMutex(const HeldMutex&) = delete;
    HeldMutex& operator=(const HeldMutex&) = delete;
    ~HeldMutex() override { ReleaseMutex(mutex_.get()); }

private:
    KernelHandle mutex_;
};

// One name per folder for every session on the machine; a folder path may
// be longer than a mutex name and holds '\', hence a hash of its upper case.
std::string MutexName(const std::string& path) {
    std::string folder = StripTrailingBackslash(path);
    if (!folder.empty()) {
        CharUpperBuffA(folder.data(), static_cast<DWORD>(folder.size()));
    }
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char c : folder) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Global\\Zephrane-%016llx", static_cast<unsigned long long>(hash));
    return name;
}

}  // namespace

std::unique_ptr<Hold> LockFolderWithin(const std::string& path, std::chrono::milliseconds wait) {
    KernelHandle mutex(CreateMutexA(nullptr, FALSE, MutexName(path).c_str()));
    if (!mutex) {
        return nullptr;
    }
    // An abandoned mutex was held by a run that ended without letting go: ours now.
    const DWORD waited = WaitForSingleObject(mutex.get(), static_cast<DWORD>(wait.count()));
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        return nullptr;
    }
    return std::make_unique<HeldMutex>(std::move(mutex));
}

}  // namespace zephrane
