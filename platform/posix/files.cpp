#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/posix/error_codes.h"
#include "platform/posix/file_descriptor.h"
#include "platform/run_error.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

class PosixFile final : public File {
public:
    PosixFile(FileDescriptor fd, bool written) : fd_(std::move(fd)), written_(written) {}

    std::size_t Write(const char* data, std::size_t size) override {
        ssize_t done;
        do {
            done = ::write(fd_.Get(), data, size);
        } while (done < 0 && errno == EINTR);
        if (done < 0) {
            ThrowIoError(WindowsErrorCode(errno));
        }
        return static_cast<std::size_t>(done);
    }

    std::size_t Read(char* data, std::size_t size) override {
        ssize_t done;
        do {
            done = ::read(fd_.Get(), data, size);
        } while (done < 0 && errno == EINTR);
        if (done < 0) {
            ThrowIoError(WindowsErrorCode(errno));
        }
        return static_cast<std::size_t>(done);
    }

    void Close() override {
        // A configuration that named starts with must survive a power cut.
        if (written_ && ::fsync(fd_.Get()) != 0) {
            ThrowIoError(WindowsErrorCode(errno));
        }
        if (!fd_.Close()) {
            ThrowIoError(WindowsErrorCode(errno));
        }
    }

private:
    FileDescriptor fd_;
    bool written_;
};

mode_t ModeFor(FileAccess access, bool hasGroup) {
    switch (access) {
    case FileAccess::Secret: return 0600;
    case FileAccess::ServerReads: return hasGroup ? 0640 : 0600;
    case FileAccess::Plain: return 0644;
    }
    return 0600;
}

class PosixFolder final : public Folder {
public:
    PosixFolder(FileDescriptor fd, gid_t group, bool hasGroup) : fd_(std::move(fd)), group_(group), hasGroup_(hasGroup) {}

    std::unique_ptr<File> CreateFile(const std::string& name, FileAccess access) override {
        // O_EXCL never opens what is there, a link included.
        FileDescriptor fd(::openat(fd_.Get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST || errno == ELOOP) {
                return nullptr;
            }
            ThrowIoError(WindowsErrorCode(errno));
        }
        // Set on the open file, never from the umask.
        if ((access == FileAccess::ServerReads && hasGroup_ && ::fchown(fd.Get(), static_cast<uid_t>(-1), group_) != 0) ||
            ::fchmod(fd.Get(), ModeFor(access, hasGroup_)) != 0) {
            ThrowIoError(WindowsErrorCode(errno));
        }
        return std::make_unique<PosixFile>(std::move(fd), true);
    }

    std::unique_ptr<File> OpenFile(const std::string& name) override {
        // O_NONBLOCK: a FIFO where a file belongs must not make the open wait.
        FileDescriptor fd(::openat(fd_.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!fd) {
            if (errno == ENOENT || errno == ELOOP) {
                return nullptr;
            }
            ThrowIoError(WindowsErrorCode(errno));
        }
        struct stat info {};
        if (::fstat(fd.Get(), &info) != 0) {
            ThrowIoError(WindowsErrorCode(errno));
        }
        // Only a plain file ends (a FIFO or a device would make reading wait
        // or run forever), and only one of ours: a second name could lead
        // others to what it holds.
        if (!S_ISREG(info.st_mode) || info.st_nlink != 1 || (info.st_uid != 0 && info.st_uid != ::geteuid())) {
            return nullptr;
        }
        if (::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK) != 0) {
            ThrowIoError(WindowsErrorCode(errno));
        }
        return std::make_unique<PosixFile>(std::move(fd), false);
    }

    bool DeleteFile(const std::string& name) override { return ::unlinkat(fd_.Get(), name.c_str(), 0) == 0; }

    void Sync() override {
        if (::fsync(fd_.Get()) != 0) {
            ThrowIoError(WindowsErrorCode(errno));
        }
    }

    void Share() override {
        // Sticky: the server creates its own files (managed keys, journals)
        // but cannot remove or replace ours.
        if ((hasGroup_ && ::fchown(fd_.Get(), static_cast<uid_t>(-1), group_) != 0) ||
            ::fchmod(fd_.Get(), hasGroup_ ? 01770 : 0700) != 0) {
            ThrowIoError(WindowsErrorCode(errno));
        }
        Sync();
    }

private:
    FileDescriptor fd_;
    gid_t group_;
    bool hasGroup_;
};

// Whether `when` as local time fits a DOS date (1980 to 2107), as the
// Windows file search requires of an entry it reports.
bool HasDosDate(std::time_t when) {
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) {
        return false;
    }
    const int year = local.tm_year + 1900;
    return year >= 1980 && year <= 2107;
}

// The parent's entries reach the disk, so that a new or renamed entry
// survives a power cut; a disk that cannot take them is an I/O error.
void SyncParent(const std::string& path) {
    const std::string parent = ExtractFilePath(StripTrailingSeparator(path));
    FileDescriptor fd(::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd || ::fsync(fd.Get()) != 0) {
        ThrowIoError(WindowsErrorCode(errno));
    }
}

}  // namespace

bool SystemPlatform::DirectoryExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool SystemPlatform::FileExists(const std::string& path) {
    struct stat info {};
    if (path.empty() || path.back() == '/' || ::stat(path.c_str(), &info) != 0) {
        return false;
    }
    return !S_ISDIR(info.st_mode) && HasDosDate(info.st_mtime);
}

// Only we may enter it until OpenFolder has set who else may.
bool SystemPlatform::CreateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0) {
        return false;
    }
    SyncParent(path);
    return true;
}

bool SystemPlatform::RenameFolder(const std::string& oldPath, const std::string& newPath) {
    // The system's own configuration folder is never moved, under any name.
    struct stat moved {};
    struct stat system {};
    if (::stat(oldPath.c_str(), &moved) == 0 && ::stat("/etc", &system) == 0 && moved.st_dev == system.st_dev &&
        moved.st_ino == system.st_ino) {
        return false;
    }
    // Never replace: rename(2) would silently take the place of an empty folder.
    bool renamed = ::renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0;
    if (!renamed && (errno == EINVAL || errno == ENOSYS)) {
        // File systems without RENAME_NOREPLACE.
        struct stat info {};
        renamed = ::lstat(newPath.c_str(), &info) != 0 && errno == ENOENT &&
                  ::rename(oldPath.c_str(), newPath.c_str()) == 0;
    }
    if (renamed) {
        SyncParent(newPath);
    }
    return renamed;
}

bool SystemPlatform::RemoveFolder(const std::string& path) {
    // rmdir never follows a link, nor removes one.
    const bool removed = ::rmdir(StripTrailingSeparator(path).c_str()) == 0;
    if (removed) {
        SyncParent(path);
    }
    return removed;
}

std::unique_ptr<Folder> SystemPlatform::OpenFolder(const std::string& path, const Account& server) {
    // A trailing '/' would make even O_NOFOLLOW follow a link.
    FileDescriptor fd(::open(StripTrailingSeparator(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0 || info.st_uid != ::geteuid()) {
        return nullptr;
    }
    const bool hasGroup = !server.id.empty();
    const auto group = static_cast<gid_t>(hasGroup ? std::stoul(server.id) : 0);
    // Ours alone until Share: nobody may plant what the run is to create.
    if (::fchmod(fd.Get(), 0700) != 0) {
        ThrowIoError(WindowsErrorCode(errno));
    }
    return std::make_unique<PosixFolder>(std::move(fd), group, hasGroup);
}

}  // namespace zephrane
