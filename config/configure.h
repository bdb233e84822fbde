#pragma once

#include "io/console.h"
#include "platform/platform.h"

namespace zephrane {

// One configuration run: stop named, move etc aside, write a fresh etc and
// start named again. Prints a progress line before each step and one failure
// line when a step fails; true when every step succeeded.
bool ConfigureServer(Platform& platform, Console& out, bool start);

}  // namespace zephrane
