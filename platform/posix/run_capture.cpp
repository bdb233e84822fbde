#include "platform/posix/run_capture.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "platform/posix/child_process.h"
#include "platform/posix/file_descriptor.h"

namespace zephrane {
namespace {

// Reads to the end of the output; false when the deadline comes first.
bool ReadToEnd(int fd, SteadyTime deadline, std::string& output) {
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left));
        if (ready <= 0) {
            if (ready < 0 && errno != EINTR) {
                return false;
            }
            continue;
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            output.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

std::optional<std::string> FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const std::size_t end = rest.find(':');
        const std::string_view folder = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (folder.empty() || folder.front() != '/') {
            continue;
        }
        const std::string candidate = std::string(folder) + (folder.back() == '/' ? "" : "/") + name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<Captured> RunCapture(const std::string& path, const std::vector<std::string>& args,
                                   unsigned timeoutMs) {
    const SteadyTime deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);

    std::vector<std::string> argv{path};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildOptions options;
    options.outputFd = writeEnd.Get();
    const std::optional<pid_t> child = StartChild(argv, options);
    if (!child) {
        return std::nullopt;
    }
    writeEnd.Close();  // so the read sees the end when the child is gone

    Captured captured;
    std::optional<int> status;
    if (ReadToEnd(readEnd.Get(), deadline, captured.output)) {
        status = WaitForChild(*child, deadline);
    }
    if (!status) {
        KillChild(*child);
    } else if (WIFEXITED(*status)) {
        captured.exitStatus = WEXITSTATUS(*status);
    }
    return captured;
}

}  // namespace zephrane
