#include <cerrno>
#include <climits>
#include <unistd.h>

#include "platform/system_platform.h"

namespace zephrane {
namespace {

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t done = ::write(fd, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return;  // nobody is listening; the run goes on regardless
        }
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
}

}  // namespace

bool SystemPlatform::StdoutIsConsole() { return ::isatty(STDOUT_FILENO) == 1; }

void SystemPlatform::WriteStdout(std::string_view bytes) { WriteAll(STDOUT_FILENO, bytes); }

void SystemPlatform::WriteStderr(std::string_view bytes) { WriteAll(STDERR_FILENO, bytes); }

std::string SystemPlatform::ExecutablePath() {
    char path[PATH_MAX];
    const ssize_t size = ::readlink("/proc/self/exe", path, sizeof path);
    return size > 0 ? std::string(path, static_cast<std::size_t>(size)) : std::string();
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    return args;
}

}  // namespace zephrane
