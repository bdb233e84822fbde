// Running a helper program and reading what it prints.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zephrane {

struct Captured {
    int exitStatus = -1;  // -1: ended by a signal, or killed after the time-out
    std::string output;   // its standard output and error, as they came
};

// Runs `program` (looked up on PATH, no shell) with `args` and standard
// input from /dev/null; one still running after `timeoutMs` is killed.
// nullopt when it could not be started at all.
std::optional<Captured> RunCapture(const std::string& program, const std::vector<std::string>& args,
                                   unsigned timeoutMs);

}  // namespace zephrane
