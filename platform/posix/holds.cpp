#include <sys/file.h>

#include <cerrno>
#include <fcntl.h>
#include <thread>

#include "platform/holds.h"
#include "platform/paths.h"
#include "platform/posix/file_descriptor.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

constexpr std::chrono::milliseconds kLockPoll{100};

// flock on the folder itself: no lock file to leave behind, and the kernel
// releases it when the holder ends, however it ends.
class FolderLock final : public Hold {
public:
    explicit FolderLock(FileDescriptor fd) : fd_(std::move(fd)) {}

private:
    FileDescriptor fd_;
};

}  // namespace

std::unique_ptr<Hold> LockFolderWithin(const std::string& path, std::chrono::milliseconds wait) {
    FileDescriptor fd(::open(StripTrailingBackslash(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) {
        return nullptr;
    }
    const auto until = std::chrono::steady_clock::now() + wait;
    while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= until) {
            return nullptr;
        }
        std::this_thread::sleep_for(kLockPoll);
    }
    return std::make_unique<FolderLock>(std::move(fd));
}

}  // namespace zephrane
