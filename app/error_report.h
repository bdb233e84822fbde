// The report of an error nobody handled: two lines and an empty line, in
// ANSI text (the caller converts it for the error stream). Its German words
// and class names are kept as they are on purpose: scripts may parse the two
// lines, and these class names are what they look for.
#pragma once

#include <string>

#include "platform/run_error.h"

namespace zephrane {

std::string FormatErrorReport(const RunError& error, const std::string& moduleName);

// The report of memory that ran out (std::bad_alloc), which names no place.
std::string FormatOutOfMemoryReport(const std::string& moduleName);

}  // namespace zephrane
