#pragma once

#include <string>
#include <vector>

#include "io/console.h"
#include "platform/platform.h"

namespace zephrane {

// Exit statuses, so that scripts and schedulers see what the summary says.
inline constexpr int kExitSucceeded = 0;  // configured, skipped, or the usage text
inline constexpr int kExitReported = 1;   // an error report on standard error, the machine as before
inline constexpr int kExitFailed = 2;     // CONFIGURATION FAILED or EXECUTION FAILED
inline constexpr int kExitNotRestored = 3;  // failed (summary or report), and the machine not wholly as before

// One run of the tool for the words after the program name: banner, then
// either the usage text or the DNS cache switch, the configuration and the
// summary line. Returns the exit status.
int RunZephrane(Platform& platform, Console& out, const std::vector<std::string>& args);

// The whole process: RunZephrane, and an error nobody handled as the error
// report on standard error. Returns the exit status.
int RunAndReport(Platform& platform, const std::vector<std::string>& args);

}  // namespace zephrane
