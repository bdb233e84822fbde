#include "config/service_switch.h"

namespace zephrane {

bool SwitchService(Platform& platform, const std::string& name, bool on) {
    if (on) {
        return platform.SetServiceStartType(name, StartType::Automatic) && platform.StartServiceAndWait(name);
    }
    // A service that will not stop keeps its start type: Windows 10 1709 and
    // later refuse to stop the DNS Client, and a switch that failed must not
    // leave it to start on demand only.
    const std::optional<StartType> before = platform.GetServiceStartType(name);
    if (!platform.SetServiceStartType(name, StartType::OnDemand)) {
        return false;
    }
    if (platform.StopServiceAndWait(name)) {
        return true;
    }
    if (before) {
        platform.SetServiceStartType(name, *before);
    }
    return false;
}

}  // namespace zephrane
