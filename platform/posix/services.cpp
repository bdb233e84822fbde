#include "platform/system_platform.h"

namespace zephrane {

// Not built yet: every operation reports failure, never success.
int SystemPlatform::GetServiceState(const std::string&) { return -1; }
bool SystemPlatform::SetServiceStartType(const std::string&, int) { return false; }
bool SystemPlatform::StartServiceAndWait(const std::string&) { return false; }
bool SystemPlatform::StopServiceAndWait(const std::string&) { return false; }

}  // namespace zephrane
