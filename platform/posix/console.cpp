#include <cerrno>
#include <climits>
#include <unistd.h>

#include "platform/console.h"
#include "platform/system_platform.h"

namespace zephrane {

std::size_t WriteOnce(StandardStream stream, std::string_view bytes) {
    const int fd = stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
    ssize_t done;
    do {
        done = ::write(fd, bytes.data(), bytes.size());
    } while (done < 0 && errno == EINTR);
    return done > 0 ? static_cast<std::size_t>(done) : 0;
}

bool SystemPlatform::StdoutIsConsole() { return ::isatty(STDOUT_FILENO) == 1; }

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
