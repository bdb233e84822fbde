// The registry is a tree of folders: value V of key K is the file <root>/K/V.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/protection.h"
#include "platform/system_platform.h"
#include "platform/run_error.h"

namespace zephrane {
namespace {

constexpr const char* kDefaultRegistryRoot = "/etc/zephrane/registry";

std::string RegistryRoot() {
    const char* root = std::getenv("ZEPHRANE_REGISTRY");
    return (root != nullptr && *root != '\0') ? root : kDefaultRegistryRoot;
}

// "\Software\ISC\BIND\" -> "Software/ISC/BIND"
std::string KeyFolder(const std::string& key) {
    std::string folder;
    for (char c : key) {
        const char mapped = c == '\\' ? '/' : c;
        if (mapped != '/' || (!folder.empty() && folder.back() != '/')) {
            folder.push_back(mapped);
        }
    }
    if (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

}  // namespace

std::string SystemPlatform::ReadRegistryString(const std::string& key, const std::string& value) {
    // The value says which program the tool runs as root: only a value that
    // only root may change, in folders only root may change, counts.
    const ProtectedPath folder = OpenProtected(RegistryRoot() + "/" + KeyFolder(key), false);
    FileDescriptor fd(folder.entry ? ::openat(folder.entry.Get(), value.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)
                                   : -1);
    if (!fd) {
        return {};  // absent key or value
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        ThrowRegistryTypeError(value);  // not a string value
    }
    if (!OnlyWeCanChange(fd.Get(), info)) {
        return {};
    }
    std::string content;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(fd.Get(), buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) {
            content.append(buffer, static_cast<std::size_t>(got));
        }
    }
    content = content.substr(0, content.find('\0'));
    // A value written with `echo` ends with a line end that is not part of it.
    if (!content.empty() && content.back() == '\n') {
        content.pop_back();
        if (!content.empty() && content.back() == '\r') {
            content.pop_back();
        }
    }
    return content;
}

}  // namespace zephrane
