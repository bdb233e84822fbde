#include "config/service_switch.h"

namespace zephrane {

bool SwitchService(Platform& platform, const std::string& name, bool on) {
    if (on) {
        return platform.SetServiceStartType(name, StartType::Automatic) && platform.StartServiceAndWait(name);
    }
    return platform.SetServiceStartType(name, StartType::OnDemand) && platform.StopServiceAndWait(name);
}

}  // namespace zephrane
