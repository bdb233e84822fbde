// Who may change a folder or program the tool runs as root: on POSIX, its
// owner, whoever its group and others bits or an access list let write, and
// the same of every folder above it.
#include "platform/posix/protection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/system_platform.h"

namespace zephrane {
namespace {

bool OwnerTrusted(const struct stat& info) { return info.st_uid == 0 || info.st_uid == ::geteuid(); }

// Whether the entry open at `fd` has an access list beyond its mode: one may
// let anybody write (the mode's group bits are then only its mask), and a
// default list passes on to what is created inside. Read through /proc, as
// an O_PATH descriptor reads no attributes; what cannot be read counts as a list.
bool HasAccessList(int fd) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    for (const char* list : {"system.posix_acl_access", "system.posix_acl_default", "system.nfs4_acl"}) {
        if (::getxattr(path.c_str(), list, nullptr, 0) >= 0 || (errno != ENODATA && errno != ENOTSUP)) {
            return true;
        }
    }
    return false;
}

// Root's group aside.
bool OthersMayWrite(int fd, const struct stat& info) {
    return ((info.st_mode & S_IWGRP) != 0 && info.st_gid != 0) || (info.st_mode & S_IWOTH) != 0 || HasAccessList(fd);
}

// Whether those who may change the folder `above` cannot replace or rename
// its entry `below`: a sticky folder lets only an entry's owner do that.
bool EntryKept(int aboveFd, const struct stat& above, const struct stat& below) {
    return !OthersMayWrite(aboveFd, above) || ((above.st_mode & S_ISVTX) != 0 && OwnerTrusted(below));
}

}  // namespace

bool OnlyWeCanChange(int fd, const struct stat& info) { return OwnerTrusted(info) && !OthersMayWrite(fd, info); }

namespace {

class HeldFolder final : public Hold {
public:
    explicit HeldFolder(ProtectedPath held) : held_(std::move(held)) {}

private:
    ProtectedPath held_;
};

}  // namespace

ProtectedPath OpenProtected(const std::string& path, bool program) {
    ProtectedPath held;
    held.entry = FileDescriptor(::open(path.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat here {};
    if (!held.entry || ::fstat(held.entry.Get(), &here) != 0 || !OwnerTrusted(here)) {
        return {};
    }
    std::string_view rest = path;
    while (!rest.empty()) {
        const std::size_t end = rest.find('/');
        const std::string name(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (name.empty()) {
            continue;  // doubled separators
        }
        const bool last = rest.find_first_not_of('/') == std::string_view::npos;
        // O_NOFOLLOW: a link is opened itself, and fails the checks below.
        FileDescriptor next(::openat(held.entry.Get(), name.c_str(),
                                     O_PATH | O_NOFOLLOW | O_CLOEXEC | (last && program ? 0 : O_DIRECTORY)));
        struct stat below {};
        if (name == "." || name == ".." || !next || ::fstat(next.Get(), &below) != 0 || !OwnerTrusted(below) ||
            !EntryKept(held.entry.Get(), here, below)) {
            return {};
        }
        held.folder = std::move(held.entry);
        held.entry = std::move(next);
        here = below;
    }
    const bool kind = program ? S_ISREG(here.st_mode) && (here.st_mode & 0111) != 0 : S_ISDIR(here.st_mode);
    if (!kind || !OnlyWeCanChange(held.entry.Get(), here)) {
        return {};
    }
    return held;
}

std::unique_ptr<Hold> SystemPlatform::HoldProtectedFolder(const std::string& path) {
    ProtectedPath held = OpenProtected(path, false);
    // The system's root, also where it is mounted a second time: its etc is the system's.
    struct stat folder {};
    struct stat root {};
    if (!held.entry || ::fstat(held.entry.Get(), &folder) != 0 || ::stat("/", &root) != 0 ||
        (folder.st_dev == root.st_dev && folder.st_ino == root.st_ino)) {
        return nullptr;
    }
    return std::make_unique<HeldFolder>(std::move(held));
}

std::unique_ptr<Program> SystemPlatform::HoldProtectedProgram(const std::string& path) {
    ProtectedPath held = OpenProtected(path, true);
    return held.entry && held.folder ? std::make_unique<PosixProgram>(path, std::move(held)) : nullptr;
}

}  // namespace zephrane
