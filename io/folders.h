#pragma once

#include <string>

#include "platform/platform.h"

namespace zephrane {

// Makes sure the folder and all missing parent folders exist, outermost
// first. An empty path is an error (RunError).
bool ForceDirectories(Platform& platform, const std::string& path);

}  // namespace zephrane
