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
#include <vector>

#include "platform/launch.h"
#include "platform/paths.h"
#include "platform/system_platform.h"
#include "platform/words.h"

extern char** environ;

namespace zephrane {
namespace {

using Clock = std::chrono::steady_clock;

// How often the child is looked at when the kernel offers no process
// descriptor to wait on (Linux before 5.3).
constexpr int kPollIntervalMs = 10;

// What the child gets besides the environment: no input, the program's folder
// as working directory, and the default SIGPIPE (the tool ignores it, and
// an ignored signal would stay ignored across exec).
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

    bool Prepare(const std::string& folder) {
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigset_t unblocked;
        sigemptyset(&unblocked);
        return ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
               (folder.empty() || ::posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str()) == 0) &&
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

// Waits until `child` has exited and reaps it; false when `until` passes first.
bool ReapBefore(pid_t child, Clock::time_point until) {
    // A process descriptor turns readable the moment the child exits.
    const int processFd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    bool exited = false;
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(child, &status, WNOHANG);
        if (got == child || (got < 0 && errno == ECHILD)) {
            exited = true;
            break;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
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
    return exited;
}

void KillAndReap(pid_t child) {
    ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

bool RunAndWaitWithin(const std::string& program, const std::string& arguments, std::chrono::milliseconds deadline) {
    const Clock::time_point until = Clock::now() + deadline;
    // Quoted words keep their blanks, as on the tool's own command line.
    std::vector<std::string> words = SplitWords(arguments);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.Prepare(ExtractFilePath(program))) {
        return false;
    }
    pid_t child = 0;
    if (::posix_spawn(&child, program.c_str(), setup.Actions(), setup.Attributes(), argv.data(), environ) != 0) {
        return false;
    }
    if (ReapBefore(child, until)) {
        return true;
    }
    KillAndReap(child);
    return false;
}

bool SystemPlatform::RunAndWait(const std::string& program, const std::string& arguments) {
    return FileExists(program) && RunAndWaitWithin(program, arguments, kLaunchDeadline);
}

}  // namespace zephrane
