// Child processes for the POSIX backend: started with posix_spawn (never a
// shell), waited for on the process itself, never left behind as zombies.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zephrane {

using SteadyTime = std::chrono::steady_clock::time_point;

struct ChildOptions {
    int programFd = -1;      // the open program file to run; -1: the file argv[0] names
    int workingFolder = -1;  // an open folder; -1: this process's
    int outputFd = -1;       // standard output and error; -1: inherited
};

// Starts argv[0] (or the open program) with `argv`, standard input from
// /dev/null and SIGPIPE at its default (this process ignores it, which exec
// would pass on).
std::optional<pid_t> StartChild(const std::vector<std::string>& argv, const ChildOptions& options);

// Waits until the child has exited and reaps it: its wait status, or nullopt
// when `deadline` came first (the child is then still running).
std::optional<int> WaitForChild(pid_t child, SteadyTime deadline);

// Kills the child and reaps it, waiting at most kEndingGrace.
void KillChild(pid_t child);

}  // namespace zephrane
