// Services are systemd units, driven through the systemctl found on PATH.
#include "platform/posix/services.h"

#include <grp.h>
#include <string_view>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <iterator>

#include "platform/paths.h"
#include "platform/posix/protection.h"
#include "platform/posix/run_capture.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kQueryTimeoutMs = 30000;

// The Windows services the tool asks for, as this system has them. named's
// unit names no account: it drops to one of its own, whose group is
// Debian's or else Red Hat's. Any other service is the unit of its name,
// with no group.
struct KnownService {
    std::string_view service;
    std::string_view unit;
    std::array<std::string_view, 2> groups;  // the first that exists here counts
};
constexpr KnownService kKnownServices[] = {
    {"named", "named", {"bind", "named"}},
    {"Dnscache", "systemd-resolved", {}},
};

const KnownService* Known(const std::string& service) {
    const auto* found = std::find_if(std::begin(kKnownServices), std::end(kKnownServices),
                                     [&](const KnownService& known) { return known.service == service; });
    return found != std::end(kKnownServices) ? found : nullptr;
}

std::string UnitName(const std::string& service) {
    const KnownService* known = Known(service);
    return known != nullptr ? std::string(known->unit) : service;
}

struct UnitState {
    std::string active;
    std::string load;
    std::string unitFile;
};

// systemctl for one operation: looked up once on PATH, run only when only
// root may change it (it runs as root), and no call outlives the operation.
class Systemctl {
public:
    explicit Systemctl(unsigned withinMs) : until_(Clock::now() + std::chrono::milliseconds(withinMs)) {
        const std::optional<std::string> found = FindOnPath("systemctl");
        if (!found) {
            failure_ = ServiceState::Absent;  // no service manager to ask
        } else if (OpenProtected(*found, true).entry) {
            path_ = *found;
        }
    }

    // What a call that gave nothing means: Absent without systemctl on PATH.
    ServiceState Failure() const { return failure_; }

    // nullopt when it did not run: no systemctl to trust, or no time left.
    std::optional<Captured> Run(const std::vector<std::string>& args, unsigned timeoutMs) const {
        const unsigned left = LeftMs();
        if (path_.empty() || left == 0) {
            return std::nullopt;
        }
        return RunCapture(path_, args, std::min(timeoutMs, left));
    }

    unsigned LeftMs() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until_ - Clock::now()).count();
        return left > 0 ? static_cast<unsigned>(left) : 0;
    }

private:
    Clock::time_point until_;
    std::string path_;
    ServiceState failure_ = ServiceState::Unknown;
};

// What `systemctl show` says of the unit; Absent when there is no service
// manager to ask (no systemctl, or a system not booted with systemd).
struct Shown {
    ServiceState failure = ServiceState::Unknown;
    std::optional<UnitState> unit;
};

Shown ShowUnit(const Systemctl& systemctl, const std::string& unit) {
    const std::optional<Captured> shown =
        systemctl.Run({"show", unit, "--property=ActiveState,LoadState,UnitFileState"}, kQueryTimeoutMs);
    if (!shown) {
        return {systemctl.Failure(), std::nullopt};
    }
    if (shown->exitStatus != 0) {
        const bool noManager = shown->output.find("not been booted with systemd") != std::string::npos;
        return {noManager ? ServiceState::Absent : ServiceState::Unknown, std::nullopt};
    }
    UnitState state;
    std::string_view rest = shown->output;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        const std::size_t equals = line.find('=');
        const std::string_view key = line.substr(0, equals);
        const std::string value(equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1));
        if (key == "ActiveState") {
            state.active = value;
        } else if (key == "LoadState") {
            state.load = value;
        } else if (key == "UnitFileState") {
            state.unitFile = value;
        }
    }
    return {ServiceState::Unknown, state};
}

// The Windows state of a unit.
ServiceState StateOf(const UnitState& unit) {
    if (unit.load == "not-found") {
        return ServiceState::Absent;
    }
    if (unit.load.empty() || unit.load == "bad-setting" || unit.load == "error") {
        return ServiceState::Unknown;
    }
    const std::string& active = unit.active;
    if (active == "active" || active == "reloading" || active == "refreshing") {
        return ServiceState::Running;
    }
    if (active == "activating") {
        return ServiceState::StartPending;
    }
    if (active == "deactivating") {
        return ServiceState::StopPending;
    }
    if (active == "inactive" || active == "failed") {
        return ServiceState::Stopped;
    }
    return ServiceState::Unknown;
}

ServiceState QueryState(const Systemctl& systemctl, const std::string& unit) {
    const Shown shown = ShowUnit(systemctl, unit);
    return shown.unit ? StateOf(*shown.unit) : shown.failure;
}

bool IsKnown(ServiceState state) { return state != ServiceState::Absent && state != ServiceState::Unknown; }

bool Succeeded(const std::optional<Captured>& run) { return run && run->exitStatus == 0; }

}  // namespace

bool ChangeUnit(Platform& platform, const std::string& unit, bool start, const ServiceWaitLimits& limits) {
    const Systemctl systemctl(limits.deadlineMs);
    const ServiceDriver driver{
        [&]() -> std::optional<ServiceStatus> {
            const ServiceState state = QueryState(systemctl, unit);
            if (!IsKnown(state)) {
                return std::nullopt;
            }
            return ServiceStatus{state, 0, 0};
        },
        // systemctl waits for the job itself; the wait that follows only confirms.
        [&](ServiceStatus&) { return Succeeded(systemctl.Run({start ? "start" : "stop", unit}, limits.deadlineMs)); },
        [&](unsigned ms) { platform.Sleep(std::min(ms, systemctl.LeftMs())); },
        [] {
            const auto now = Clock::now().time_since_epoch();
            return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
        },
    };
    return start ? DriveService(driver, ServiceState::Running, ServiceState::StartPending, limits)
                 : DriveService(driver, ServiceState::Stopped, ServiceState::StopPending, limits);
}

ServiceState SystemPlatform::GetServiceState(const std::string& name) {
    return QueryState(Systemctl(kQueryTimeoutMs), UnitName(name));
}

std::optional<StartType> SystemPlatform::GetServiceStartType(const std::string& name) {
    const Shown shown = ShowUnit(Systemctl(kQueryTimeoutMs), UnitName(name));
    if (!shown.unit || !IsKnown(StateOf(*shown.unit))) {
        return std::nullopt;
    }
    if (shown.unit->unitFile == "enabled") {
        return StartType::Automatic;
    }
    return shown.unit->unitFile == "disabled" ? std::optional(StartType::OnDemand) : std::nullopt;
}

bool SystemPlatform::SetServiceStartType(const std::string& name, StartType startType) {
    // Units are enabled or disabled; systemd has no other start type to set.
    if (startType != StartType::Automatic && startType != StartType::OnDemand) {
        return false;
    }
    const char* wanted = startType == StartType::Automatic ? "enabled" : "disabled";
    const std::string unit = UnitName(name);
    const Systemctl systemctl(kUnitWaitLimits.deadlineMs);
    const Shown before = ShowUnit(systemctl, unit);
    if (!before.unit || !IsKnown(StateOf(*before.unit))) {
        return false;
    }
    if (before.unit->unitFile == wanted) {
        return true;
    }
    // Judged by the unit-file state afterwards, as systemctl's exit status
    // does not tell a static unit from an enabled one.
    systemctl.Run({startType == StartType::Automatic ? "enable" : "disable", unit}, kQueryTimeoutMs);
    const Shown after = ShowUnit(systemctl, unit);
    return after.unit && after.unit->unitFile == wanted;
}

bool SystemPlatform::StartServiceAndWait(const std::string& name) {
    return ChangeUnit(*this, UnitName(name), true, kUnitWaitLimits);
}

bool SystemPlatform::StopServiceAndWait(const std::string& name) {
    return ChangeUnit(*this, UnitName(name), false, kUnitWaitLimits);
}

std::optional<Account> SystemPlatform::ServiceAccount(const std::string& name) {
    const KnownService* known = Known(name);
    if (known == nullptr) {
        return Account{};
    }
    for (const std::string_view groupName : known->groups) {
        group entry{};
        group* found = nullptr;
        std::vector<char> buffer(16384);
        if (!groupName.empty() &&
            ::getgrnam_r(std::string(groupName).c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr) {
            return Account{std::to_string(found->gr_gid)};
        }
    }
    return Account{};
}

}  // namespace zephrane
