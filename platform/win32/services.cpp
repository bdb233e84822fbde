// Services through the Service Control Manager: one connection per operation.
#include "platform/win32/win32_api.h"

#include <sddl.h>

#include <vector>

#include "platform/service_wait.h"
#include "platform/system_platform.h"
#include "platform/win32/console_close.h"
#include "platform/win32/handles.h"

namespace zephrane {
namespace {

static_assert(static_cast<int>(ServiceState::Stopped) == SERVICE_STOPPED &&
              static_cast<int>(ServiceState::StartPending) == SERVICE_START_PENDING &&
              static_cast<int>(ServiceState::StopPending) == SERVICE_STOP_PENDING &&
              static_cast<int>(ServiceState::Running) == SERVICE_RUNNING &&
              static_cast<int>(ServiceState::ContinuePending) == SERVICE_CONTINUE_PENDING &&
              static_cast<int>(ServiceState::PausePending) == SERVICE_PAUSE_PENDING &&
              static_cast<int>(ServiceState::Paused) == SERVICE_PAUSED);
static_assert(static_cast<int>(StartType::Boot) == SERVICE_BOOT_START &&
              static_cast<int>(StartType::System) == SERVICE_SYSTEM_START &&
              static_cast<int>(StartType::Automatic) == SERVICE_AUTO_START &&
              static_cast<int>(StartType::OnDemand) == SERVICE_DEMAND_START &&
              static_cast<int>(StartType::Disabled) == SERVICE_DISABLED);

// The manager and one service in it; closed service first, then manager.
class OpenedService {
public:
    OpenedService(const std::string& name, DWORD access)
        : manager_(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)),
          service_(manager_ != nullptr ? OpenServiceA(manager_.get(), name.c_str(), access) : nullptr),
          absent_(manager_ != nullptr && service_ == nullptr && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {}
    bool IsOpen() const { return service_ != nullptr; }
    // Only this answer means there is no such service; others (no access,
    // no manager) leave its state unknown.
    bool IsAbsent() const { return absent_; }
    SC_HANDLE Get() const { return service_.get(); }

private:
    ServiceHandle manager_;
    ServiceHandle service_;
    bool absent_;
};

ServiceStatus FromSystem(const SERVICE_STATUS& status) {
    return ServiceStatus{static_cast<ServiceState>(status.dwCurrentState), status.dwCheckPoint, status.dwWaitHint};
}

std::optional<ServiceStatus> QueryStatus(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
        return std::nullopt;
    }
    return FromSystem(status);
}

// The service's configuration; empty when it cannot be read.
std::vector<BYTE> QueryConfig(SC_HANDLE service) {
    DWORD needed = 0;
    QueryServiceConfigA(service, nullptr, 0, &needed);  // asks for the size only
    std::vector<BYTE> buffer(static_cast<std::size_t>(needed) + 1);
    if (!QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                             static_cast<DWORD>(buffer.size()), &needed)) {
        buffer.clear();
    }
    return buffer;
}

bool Drive(Platform& platform, const OpenedService& service, const std::function<bool(ServiceStatus&)>& control,
           ServiceState target, ServiceState pending) {
    if (!service.IsOpen()) {
        return false;
    }
    bool asked = false;
    const ServiceDriver driver{
        // A closed console ends the wait, but only once the change has been
        // asked for: the undo asks for named's start even without time left.
        [&]() {
            const bool mayWait = !asked || MayWait();
            asked = true;
            return mayWait ? QueryStatus(service.Get()) : std::nullopt;
        },
        control,
        [&](unsigned ms) { platform.Sleep(ms); },
        []() -> std::uint64_t { return GetTickCount64(); },
    };
    return DriveService(driver, target, pending, kScmWaitLimits);
}

// A logon account as LookupAccountNameA takes it: ".\name" is this computer's.
std::string AccountName(std::string name) {
    if (name.starts_with(".\\")) {
        char computer[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD size = sizeof computer;
        if (GetComputerNameA(computer, &size)) {
            name.replace(0, 1, std::string(computer, size));
        }
    }
    return name;
}

std::string SidText(const std::string& account) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    auto sidSize = static_cast<DWORD>(sid.size());
    char domain[256];
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use{};
    if (!LookupAccountNameA(nullptr, account.c_str(), sid.data(), &sidSize, domain, &domainSize, &use)) {
        return {};
    }
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid.data(), &text)) {
        return {};
    }
    std::string result(text);
    LocalFree(text);
    return result;
}

}  // namespace

ServiceState SystemPlatform::GetServiceState(const std::string& name) {
    const OpenedService service(name, SERVICE_QUERY_STATUS);
    if (service.IsAbsent()) {
        return ServiceState::Absent;
    }
    const std::optional<ServiceStatus> status = service.IsOpen() ? QueryStatus(service.Get()) : std::nullopt;
    return status ? status->state : ServiceState::Unknown;
}

std::optional<StartType> SystemPlatform::GetServiceStartType(const std::string& name) {
    const OpenedService service(name, SERVICE_QUERY_CONFIG);
    const std::vector<BYTE> buffer = service.IsOpen() ? QueryConfig(service.Get()) : std::vector<BYTE>();
    if (buffer.empty()) {
        return std::nullopt;
    }
    const DWORD startType = reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(buffer.data())->dwStartType;
    return startType <= SERVICE_DISABLED ? std::optional(static_cast<StartType>(startType)) : std::nullopt;
}

bool SystemPlatform::SetServiceStartType(const std::string& name, StartType startType) {
    // The right to change it is asked for only when it must change: Windows
    // 10 1709 and later refuse it for the DNS Client even to administrators.
    const std::optional<StartType> current = GetServiceStartType(name);
    if (!current || *current == startType) {
        return current.has_value();
    }
    const OpenedService service(name, SERVICE_CHANGE_CONFIG);
    return service.IsOpen() && ChangeServiceConfigA(service.Get(), SERVICE_NO_CHANGE, static_cast<DWORD>(startType),
                                                    SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                    nullptr, nullptr) != FALSE;
}

// The service is watched through a handle that may only query it; the right
// to start or stop it is asked for when the change has to be asked for.
bool SystemPlatform::StartServiceAndWait(const std::string& name) {
    const OpenedService service(name, SERVICE_QUERY_STATUS);
    const auto start = [&](ServiceStatus&) {
        const OpenedService starter(name, SERVICE_START);
        return starter.IsOpen() && StartServiceA(starter.Get(), 0, nullptr) != FALSE;
    };
    return Drive(*this, service, start, ServiceState::Running, ServiceState::StartPending);
}

bool SystemPlatform::StopServiceAndWait(const std::string& name) {
    const OpenedService service(name, SERVICE_QUERY_STATUS);
    const auto stop = [&](ServiceStatus& status) {
        const OpenedService stopper(name, SERVICE_STOP);
        SERVICE_STATUS answer{};
        if (!stopper.IsOpen() || !ControlService(stopper.Get(), SERVICE_CONTROL_STOP, &answer)) {
            return false;
        }
        status = FromSystem(answer);
        return true;
    };
    return Drive(*this, service, stop, ServiceState::Stopped, ServiceState::StopPending);
}

std::optional<Account> SystemPlatform::ServiceAccount(const std::string& name) {
    const OpenedService service(name, SERVICE_QUERY_CONFIG);
    const std::vector<BYTE> buffer = service.IsOpen() ? QueryConfig(service.Get()) : std::vector<BYTE>();
    const char* logon =
        buffer.empty() ? nullptr : reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(buffer.data())->lpServiceStartName;
    // LocalSystem is the system itself, which has full control anyway.
    if (logon == nullptr || *logon == '\0' || lstrcmpiA(logon, "LocalSystem") == 0) {
        return Account{};
    }
    // One that cannot be resolved may be a domain's, whose controller is out
    // of reach: who may then enter etc is not known.
    const std::string sid = SidText(AccountName(logon));
    if (sid.empty()) {
        return std::nullopt;
    }
    return sid == "S-1-5-18" ? Account{} : Account{sid};
}

}  // namespace zephrane
