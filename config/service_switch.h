#pragma once

#include <string>

#include "platform/platform.h"

namespace zephrane {

// Switches service `name` on (automatic start, then started) or off (start
// on demand, then stopped); the second step only when the first worked.
// True when both did.
bool SwitchService(Platform& platform, const std::string& name, bool on);

}  // namespace zephrane
