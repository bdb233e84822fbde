#pragma once

#include <exception>

#include "io/console.h"
#include "platform/platform.h"

namespace zephrane {

enum class ConfigureResult {
    Succeeded,
    Failed,       // and the machine is as it was before the run
    NotRestored,  // failed, and part of what the run changed could not be put back
};

// An error nobody handles, thrown on as `error` once what the run changed
// was undone: `restored` when everything was put back.
struct UndoneError {
    std::exception_ptr error;
    bool restored;
};

// One configuration run: stop named, move etc aside, write a fresh etc and
// start named again. Prints a progress line before each step and one failure
// line when a step fails. A run that fails after its first change, an
// interruption or an error nobody handles (thrown on afterwards as
// UndoneError) undoes what it changed, silently.
ConfigureResult ConfigureServer(Platform& platform, Console& out, bool start);

}  // namespace zephrane
