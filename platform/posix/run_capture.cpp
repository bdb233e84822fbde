#include "platform/posix/run_capture.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/monotonic.h"

extern char** environ;

namespace zephrane {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Close(); }
    int Get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_;
};

// What the child gets: /dev/null for input and errors, the pipe for output,
// and SIGPIPE back at its default (this process ignores it).
class SpawnSetup {
public:
    explicit SpawnSetup(int outputFd) {
        sigset_t defaults;
        sigset_t mask;
        ok_ = ::posix_spawn_file_actions_init(&actions_) == 0;
        if (!ok_) {
            return;
        }
        if (::posix_spawnattr_init(&attributes_) != 0) {
            ::posix_spawn_file_actions_destroy(&actions_);
            ok_ = false;
            return;
        }
        ok_ = ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
              ::posix_spawn_file_actions_adddup2(&actions_, outputFd, STDOUT_FILENO) == 0 &&
              ::posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
              ::sigemptyset(&defaults) == 0 && ::sigaddset(&defaults, SIGPIPE) == 0 &&
              ::sigemptyset(&mask) == 0 && ::posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
              ::posix_spawnattr_setsigmask(&attributes_, &mask) == 0 &&
              ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
        initialised_ = true;
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup() {
        if (initialised_) {
            ::posix_spawnattr_destroy(&attributes_);
            ::posix_spawn_file_actions_destroy(&actions_);
        }
    }
    bool Ok() const { return ok_; }
    const posix_spawn_file_actions_t* Actions() const { return &actions_; }
    const posix_spawnattr_t* Attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
    bool ok_ = false;
    bool initialised_ = false;
};

// Reads to the end of the output; false when the deadline comes first.
bool ReadToEnd(int fd, std::uint64_t deadline, std::string& output) {
    char buffer[4096];
    for (;;) {
        const std::uint64_t now = MonotonicMs();
        if (now >= deadline) {
            return false;
        }
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(deadline - now));
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

void PauseBriefly() {
    timespec pause{0, 5 * 1000000L};
    ::nanosleep(&pause, nullptr);
}

// Collects the child, killing it when it outlives the deadline; its exit
// status, or nullopt when it did not exit by itself.
std::optional<int> Reap(pid_t pid, std::uint64_t deadline, bool killNow) {
    int status = 0;
    for (;;) {
        if (killNow || MonotonicMs() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return std::nullopt;
        }
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            return std::nullopt;
        }
        PauseBriefly();
    }
    if (!WIFEXITED(status)) {
        return std::nullopt;
    }
    return WEXITSTATUS(status);
}

}  // namespace

std::optional<Captured> RunCapture(const std::string& program, const std::vector<std::string>& args,
                                   unsigned timeoutMs) {
    const std::uint64_t deadline = MonotonicMs() + timeoutMs;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);

    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    {
        const SpawnSetup setup(writeEnd.Get());
        if (!setup.Ok() ||
            ::posix_spawnp(&pid, program.c_str(), setup.Actions(), setup.Attributes(), argv.data(), environ) != 0) {
            return std::nullopt;
        }
    }
    writeEnd.Close();  // so the read sees the end when the child is gone

    Captured captured;
    const bool complete = ReadToEnd(readEnd.Get(), deadline, captured.output);
    const std::optional<int> status = Reap(pid, deadline, !complete);
    if (!status) {
        return std::nullopt;
    }
    captured.exitStatus = *status;
    return captured;
}

}  // namespace zephrane
