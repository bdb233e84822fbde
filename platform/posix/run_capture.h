// Finding a helper program, running it and reading what it prints.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zephrane {

struct Captured {
    int exitStatus = -1;  // -1: ended by a signal, or killed after the time-out
    std::string output;   // its standard output and error, as they came
};

// The first executable plain file `name` in the folders of PATH, skipping
// empty and relative entries: they name the working folder, which is no
// place to take a program from that runs as root. nullopt when none holds it.
std::optional<std::string> FindOnPath(const std::string& name);

// Runs the program at `path` (no PATH search, no shell) with `args` and
// standard input from /dev/null; one still running after `timeoutMs` is
// killed. nullopt when it could not be started at all.
std::optional<Captured> RunCapture(const std::string& path, const std::vector<std::string>& args,
                                   unsigned timeoutMs);

}  // namespace zephrane
