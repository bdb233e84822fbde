#pragma once

#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/platform.h"

namespace zephrane {

// One run of the tool for the words after the program name: banner, then
// either the usage text or the DNS cache switch, the configuration and the
// summary line.
void RunZephrane(Platform& platform, Console& out, const std::vector<std::string>& args);

}  // namespace zephrane
