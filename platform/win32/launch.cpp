#include "platform/system_platform.h"

namespace zephrane {

// Not built yet: starts nothing and reports failure.
bool SystemPlatform::RunAndWait(const std::string&, const std::string&) { return false; }

}  // namespace zephrane
