#include "platform/posix/child_process.h"

#include "platform/launch.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zephrane {
namespace {

// How often the child is looked at when the kernel offers no process
// descriptor to wait on (Linux before 5.3).
constexpr int kPollIntervalMs = 10;

class SpawnSetup {
public:
    SpawnSetup() {
        ::posix_spawn_file_actions_init(&actions_);
        ::posix_spawnattr_init(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup() {
        ::posix_spawnattr_destroy(&attributes_);
        ::posix_spawn_file_actions_destroy(&actions_);
    }

    bool Prepare(const ChildOptions& options) {
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigset_t unblocked;
        sigemptyset(&unblocked);
        return ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
               (options.outputFd < 0 ||
                (::posix_spawn_file_actions_adddup2(&actions_, options.outputFd, STDOUT_FILENO) == 0 &&
                 ::posix_spawn_file_actions_adddup2(&actions_, options.outputFd, STDERR_FILENO) == 0)) &&
               (options.workingFolder < 0 ||
                ::posix_spawn_file_actions_addfchdir_np(&actions_, options.workingFolder) == 0) &&
               ::posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
               ::posix_spawnattr_setsigmask(&attributes_, &unblocked) == 0 &&
               ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
    }

    const posix_spawn_file_actions_t* Actions() const { return &actions_; }
    const posix_spawnattr_t* Attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

}  // namespace

std::optional<pid_t> StartChild(const std::vector<std::string>& argv, const ChildOptions& options) {
    if (argv.empty()) {
        return std::nullopt;
    }
    std::vector<std::string> words = argv;
    std::vector<char*> pointers;
    pointers.reserve(words.size() + 1);
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.Prepare(options)) {
        return std::nullopt;
    }
    // An open program runs through its descriptor: the file itself, whatever
    // its name leads to by now (the descriptor is closed at exec, which an
    // executable file allows).
    const std::string program =
        options.programFd < 0 ? words[0] : "/proc/self/fd/" + std::to_string(options.programFd);
    pid_t child = 0;
    if (::posix_spawn(&child, program.c_str(), setup.Actions(), setup.Attributes(), pointers.data(), environ) != 0) {
        return std::nullopt;
    }
    return child;
}

std::optional<int> WaitForChild(pid_t child, SteadyTime deadline) {
    // A process descriptor turns readable the moment the child exits.
    const int processFd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    std::optional<int> result;
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(child, &status, WNOHANG);
        if (got == child) {
            result = status;
            break;
        }
        if (got < 0 && errno != EINTR) {
            result = 0;  // already reaped: nothing left to wait for
            break;
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            break;
        }
        // Without a descriptor, poll() on no descriptors is a short sleep.
        pollfd ready{processFd, POLLIN, 0};
        const long long pause = std::min<long long>(left, processFd >= 0 ? INT_MAX : kPollIntervalMs);
        ::poll(&ready, processFd >= 0 ? 1 : 0, static_cast<int>(pause));
    }
    if (processFd >= 0) {
        ::close(processFd);
    }
    return result;
}

void KillChild(pid_t child) {
    ::kill(child, SIGKILL);
    // A process stuck in the kernel may take its time; the caller does not wait for ever.
    WaitForChild(child, std::chrono::steady_clock::now() + kEndingGrace);
}

}  // namespace zephrane
