#include "platform/system_platform.h"

namespace zephrane {

std::unique_ptr<Platform> CreateSystemPlatform() { return std::make_unique<SystemPlatform>(); }

}  // namespace zephrane
