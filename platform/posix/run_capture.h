// Running a helper program and reading what it prints.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zephrane {

struct Captured {
    int exitStatus = 0;
    std::string output;  // its standard output
};

// Runs `program` (looked up on PATH, no shell) with `args`, standard input
// and error on /dev/null. nullopt when it could not be started, was ended by
// a signal, or had not ended after `timeoutMs` (it is then killed).
std::optional<Captured> RunCapture(const std::string& program, const std::vector<std::string>& args,
                                   unsigned timeoutMs);

}  // namespace zephrane
