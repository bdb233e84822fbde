#pragma once

#include <string>

#include "platform/platform.h"

namespace zephrane {

// Switches service `name` on (automatic start, then started) or off (start
// on demand, then stopped); the second step only when the first worked.
// True when both did. Switching off, a service that does not stop gets its
// start type back. Each step that finds the service as wanted leaves it
// alone, asking for no right to change it.
bool SwitchService(Platform& platform, const std::string& name, bool on);

}  // namespace zephrane
