#pragma once

#include <string>

#include "platform/run_error.h"

namespace zephrane {

// The report of an error nobody handled: two lines and an empty line, in
// ANSI text (the caller converts it for the error stream).
std::string FormatErrorReport(const RunError& error, const std::string& moduleName);

}  // namespace zephrane
