#include "platform/launch.h"

#include "platform/system_platform.h"

namespace zephrane {

bool SystemPlatform::RunAndWait(const Program& program, const std::string& arguments) {
    return RunAndWaitWithin(program, arguments, kLaunchDeadline);
}

}  // namespace zephrane
