#include "platform/launch.h"
#include "platform/paths.h"
#include "platform/posix/child_process.h"
#include "platform/words.h"

namespace zephrane {

bool RunAndWaitWithin(const std::string& program, const std::string& arguments, std::chrono::milliseconds deadline) {
    const SteadyTime until = std::chrono::steady_clock::now() + deadline;
    // Quoted words keep their blanks, as on the tool's own command line.
    std::vector<std::string> argv = SplitWords(arguments);
    argv.insert(argv.begin(), program);
    ChildOptions options;
    options.workingDirectory = ExtractFilePath(program);
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
