// Who may change a folder or program the tool runs as root: on POSIX, its
// owner, and whoever its group and others bits let write.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system_platform.h"

namespace zephrane {
namespace {

// Owned by root or us, writable by nobody else (root's group aside).
bool OnlyWeCanChange(const struct stat& info) {
    const bool ownerTrusted = info.st_uid == 0 || info.st_uid == ::geteuid();
    const bool groupWrites = (info.st_mode & S_IWGRP) != 0 && info.st_gid != 0;
    return ownerTrusted && !groupWrites && (info.st_mode & S_IWOTH) == 0;
}

}  // namespace

bool SystemPlatform::IsProtectedFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && OnlyWeCanChange(info);
}

bool SystemPlatform::IsProtectedProgram(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0 &&
           OnlyWeCanChange(info);
}

}  // namespace zephrane
