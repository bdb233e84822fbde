#include "platform/launch.h"

#include "platform/system_platform.h"

namespace zephrane {

bool SystemPlatform::RunAndWait(const std::string& program, const std::string& arguments) {
    return FileExists(program) && RunAndWaitWithin(program, arguments, kLaunchDeadline);
}

}  // namespace zephrane
