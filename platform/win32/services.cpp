// Services through the Service Control Manager: one connection per operation.
#include "platform/win32/win32_api.h"

#include <vector>

#include "platform/service_wait.h"
#include "platform/system_platform.h"
#include "platform/win32/handles.h"

namespace zephrane {
namespace {

static_assert(kStateStopped == SERVICE_STOPPED && kStateStartPending == SERVICE_START_PENDING &&
              kStateStopPending == SERVICE_STOP_PENDING && kStateRunning == SERVICE_RUNNING);

// The manager and one service in it; closed service first, then manager.
class OpenedService {
public:
    OpenedService(const std::string& name, DWORD access)
        : manager_(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)),
          service_(manager_ != nullptr ? OpenServiceA(manager_.get(), name.c_str(), access) : nullptr) {}
    bool IsOpen() const { return service_ != nullptr; }
    SC_HANDLE Get() const { return service_.get(); }

private:
    ServiceHandle manager_;
    ServiceHandle service_;
};

ServiceStatus FromSystem(const SERVICE_STATUS& status) {
    return ServiceStatus{status.dwCurrentState, status.dwCheckPoint, status.dwWaitHint};
}

std::optional<ServiceStatus> QueryStatus(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
        return std::nullopt;
    }
    return FromSystem(status);
}

bool Drive(Platform& platform, const OpenedService& service, const std::function<bool(ServiceStatus&)>& control,
           std::uint32_t target, std::uint32_t pending) {
    if (!service.IsOpen()) {
        return false;
    }
    const ServiceDriver driver{
        [&]() { return QueryStatus(service.Get()); },
        control,
        [&](unsigned ms) { platform.Sleep(ms); },
        []() -> std::uint64_t { return GetTickCount64(); },
    };
    return DriveService(driver, target, pending, kScmWaitLimits);
}

}  // namespace

int SystemPlatform::GetServiceState(const std::string& name) {
    const OpenedService service(name, SERVICE_QUERY_STATUS);
    const std::optional<ServiceStatus> status = service.IsOpen() ? QueryStatus(service.Get()) : std::nullopt;
    return status ? static_cast<int>(status->state) : -1;
}

bool SystemPlatform::SetServiceStartType(const std::string& name, int startType) {
    const OpenedService service(name, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG);
    if (!service.IsOpen()) {
        return false;
    }
    DWORD needed = 0;
    QueryServiceConfigA(service.Get(), nullptr, 0, &needed);  // asks for the size only
    std::vector<BYTE> buffer(static_cast<std::size_t>(needed) + 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!QueryServiceConfigA(service.Get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
        return false;
    }
    if (config->dwStartType == static_cast<DWORD>(startType)) {
        return true;
    }
    return ChangeServiceConfigA(service.Get(), SERVICE_NO_CHANGE, static_cast<DWORD>(startType), SERVICE_NO_CHANGE,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE;
}

bool SystemPlatform::StartServiceAndWait(const std::string& name) {
    const OpenedService service(name, SERVICE_START | SERVICE_QUERY_STATUS);
    const auto start = [&](ServiceStatus&) { return StartServiceA(service.Get(), 0, nullptr) != FALSE; };
    return Drive(*this, service, start, SERVICE_RUNNING, SERVICE_START_PENDING);
}

bool SystemPlatform::StopServiceAndWait(const std::string& name) {
    const OpenedService service(name, SERVICE_STOP | SERVICE_QUERY_STATUS);
    const auto stop = [&](ServiceStatus& status) {
        SERVICE_STATUS answer{};
        if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &answer)) {
            return false;
        }
        status = FromSystem(answer);
        return true;
    };
    return Drive(*this, service, stop, SERVICE_STOPPED, SERVICE_STOP_PENDING);
}

}  // namespace zephrane
