// Who may change what the tool runs or reads as root: the walk that checks
// a path from the root down, and what it holds.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/platform.h"
#include "platform/posix/file_descriptor.h"

namespace zephrane {

// The end of a checked path and the folder that holds it, open without
// following links (O_PATH: nothing is read through them).
struct ProtectedPath {
    FileDescriptor folder = FileDescriptor();
    FileDescriptor entry = FileDescriptor();
};

// Owned by root or this account, writable by no group but root's and by no
// others, and without an access list: the entry open at `fd`, whose status
// is `info`.
bool OnlyWeCanChange(int fd, const struct stat& info);

// Walks `path` from the root (a relative one from the working folder),
// opening each entry in the folder checked before it, as
// Platform::HoldProtectedFolder says; `program`: the last entry is an
// executable plain file. Invalid descriptors when the path fails the check.
ProtectedPath OpenProtected(const std::string& path, bool program);

// A program held for RunAndWait: `path` for its words, the open file to run.
class PosixProgram final : public Program {
public:
    PosixProgram(std::string path, ProtectedPath held) : path_(std::move(path)), held_(std::move(held)) {}
    const std::string& Path() const { return path_; }
    int Fd() const { return held_.entry.Get(); }
    int FolderFd() const { return held_.folder.Get(); }

private:
    std::string path_;
    ProtectedPath held_;
};

}  // namespace zephrane
