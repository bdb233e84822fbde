#include "platform/launch.h"
#include "platform/posix/child_process.h"
#include "platform/posix/protection.h"
#include "platform/words.h"

namespace zephrane {

bool RunAndWaitWithin(const Program& held, const std::string& arguments, std::chrono::milliseconds deadline) {
    const auto& program = static_cast<const PosixProgram&>(held);  // this backend's
    const SteadyTime until = std::chrono::steady_clock::now() + deadline;
    // Quoted words keep their blanks, as on the tool's own command line.
    std::vector<std::string> argv = SplitWords(arguments);
    argv.insert(argv.begin(), program.Path());
    ChildOptions options;
    options.programFd = program.Fd();
    options.workingFolder = program.FolderFd();
    const std::optional<pid_t> child = StartChild(argv, options);
    if (!child) {
        return false;
    }
    if (WaitForChild(*child, until)) {
        return true;
    }
    KillChild(*child);
    return false;
}

}  // namespace zephrane
