#include <csignal>

#include "platform/system_platform.h"

namespace zephrane {

std::unique_ptr<Platform> CreateSystemPlatform() {
    // A reader that goes away (`zephrane | head`) must not kill a run halfway
    // through replacing etc; console writes just stop arriving.
    std::signal(SIGPIPE, SIG_IGN);
    return std::make_unique<SystemPlatform>();
}

}  // namespace zephrane
