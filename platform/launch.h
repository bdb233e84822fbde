// Starting a program and waiting for its exit, bounded by a deadline. Each
// backend implements RunAndWaitWithin; SystemPlatform::RunAndWait calls it
// with kLaunchDeadline.
#pragma once

#include <chrono>
#include <string>

#include "platform/platform.h"

namespace zephrane {

// BIND's key generator needs well under a second; the deadline only ends a
// generator that hangs, so that the run can report the missing key.
inline constexpr std::chrono::milliseconds kLaunchDeadline{120000};
// How long a program that was ended at the deadline may take to go.
inline constexpr std::chrono::milliseconds kEndingGrace{5000};

// Starts the held `program` with `arguments` in the program's folder and
// waits on the process itself until it exits, at most `deadline`. A program
// still running then is ended and given kEndingGrace to go. True when it was
// started and exited by itself, whatever its exit code.
bool RunAndWaitWithin(const Program& program, const std::string& arguments, std::chrono::milliseconds deadline);

}  // namespace zephrane
