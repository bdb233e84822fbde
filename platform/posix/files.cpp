#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system_platform.h"
#include "platform/paths.h"
#include "platform/posix/error_codes.h"
#include "platform/run_error.h"

namespace zephrane {
namespace {

class PosixFile final : public File {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    ~PosixFile() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    std::size_t Write(const char* data, std::size_t size) override {
        ssize_t done;
        do {
            done = ::write(fd_, data, size);
        } while (done < 0 && errno == EINTR);
        if (done < 0) {
            ThrowIoError(WindowsErrorCode(errno));
        }
        return static_cast<std::size_t>(done);
    }

    std::size_t Read(char* data, std::size_t size) override {
        ssize_t done;
        do {
            done = ::read(fd_, data, size);
        } while (done < 0 && errno == EINTR);
        if (done < 0) {
            ThrowIoError(WindowsErrorCode(errno));
        }
        return static_cast<std::size_t>(done);
    }

    void Close() override {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) {
            ThrowIoError(WindowsErrorCode(errno));
        }
    }

private:
    int fd_;
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

bool SystemPlatform::CreateDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool SystemPlatform::RenameFile(const std::string& oldPath, const std::string& newPath) {
    // Never replace: rename(2) would silently take the place of an empty folder.
    if (::renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // File systems without RENAME_NOREPLACE.
    struct stat info {};
    if (::lstat(newPath.c_str(), &info) == 0 || errno != ENOENT) {
        return false;
    }
    return ::rename(oldPath.c_str(), newPath.c_str()) == 0;
}

bool SystemPlatform::DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::unique_ptr<File> SystemPlatform::OpenFile(const std::string& path, FileMode mode) {
    // O_NONBLOCK: opening a FIFO left where a file belongs must not wait for
    // its other end.
    int flags = O_CLOEXEC | O_NONBLOCK;
    mode_t permissions = 0666;
    switch (mode) {
    case FileMode::ReadText: flags |= O_RDONLY; break;
    case FileMode::WriteText: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case FileMode::WriteTextPrivate:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        permissions = 0600;
        break;
    case FileMode::WriteBinary: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    const int fd = ::open(path.c_str(), flags, permissions);
    if (fd < 0) {
        // Windows tells a missing folder (3) from a missing file (2); so do we.
        if (errno == ENOENT && mode != FileMode::ReadText && !DirectoryExists(ExtractFilePath(path))) {
            ThrowIoError(kErrorPathNotFound);
        }
        ThrowIoError(WindowsErrorCode(errno));
    }
    auto file = std::make_unique<PosixFile>(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ThrowIoError(WindowsErrorCode(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        ThrowIoError(kErrorAccessDenied);  // as Windows answers for a folder
    }
    // Only a plain file ends: a FIFO or a device named rndc.key would make
    // reading it wait or run forever.
    if (mode == FileMode::ReadText && !S_ISREG(info.st_mode)) {
        ThrowIoError(kErrorAccessDenied);
    }
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ThrowIoError(WindowsErrorCode(errno));
    }
    // An existing file keeps its mode on O_TRUNC; the key must not stay readable.
    if (mode == FileMode::WriteTextPrivate && (info.st_mode & 0077) != 0 && ::fchmod(fd, 0600) != 0) {
        ThrowIoError(WindowsErrorCode(errno));
    }
    return file;
}

}  // namespace zephrane
