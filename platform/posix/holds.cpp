#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <thread>

#include "platform/holds.h"
#include "platform/paths.h"
#include "platform/posix/file_descriptor.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

constexpr std::chrono::milliseconds kLockPoll{100};

// The locks live in a folder only root may enter: a lock on the installation
// folder itself would take no more than the right to read it, and anybody
// could then hold a run up.
constexpr const char* kLockFolder = "/run/zephrane";

// flock on a lock file of our own: the kernel releases it when the holder
// ends, however it ends. The file stays (removing it would let a waiter lock
// a name no longer in the folder); /run is emptied at boot.
class FolderLock final : public Hold {
public:
    explicit FolderLock(FileDescriptor fd) : fd_(std::move(fd)) {}

private:
    FileDescriptor fd_;
};

// The lock folder, made on first use; nothing when it is a link, or anybody
// but we (root) may enter it.
FileDescriptor OpenLockFolder() {
    ::mkdir(kLockFolder, 0700);  // mostly there already
    FileDescriptor fd(::open(kLockFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0 || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
        return FileDescriptor();
    }
    return fd;
}

// The lock file of the folder at `path`, named by its device and inode, so
// that every path to one folder finds the same lock.
FileDescriptor OpenLockFile(const std::string& path) {
    struct stat folder {};
    FileDescriptor locks = OpenLockFolder();
    if (!locks || ::stat(StripTrailingSeparator(path).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        return FileDescriptor();
    }
    char name[64];
    std::snprintf(name, sizeof name, "%llx-%llx", static_cast<unsigned long long>(folder.st_dev),
                  static_cast<unsigned long long>(folder.st_ino));
    return FileDescriptor(::openat(locks.Get(), name, O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
}

}  // namespace

std::unique_ptr<Hold> LockFolderWithin(const std::string& path, std::chrono::milliseconds wait) {
    FileDescriptor fd = OpenLockFile(path);
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
