// Services are systemd units, driven through the systemctl found on PATH.
#include <grp.h>
#include <string_view>
#include <unistd.h>

#include <chrono>

#include "platform/posix/run_capture.h"
#include "platform/service_wait.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

// systemd reports no checkpoints or wait hints: poll at a fixed pace, and let
// systemd's own start and stop time-outs end a pending state (the unit then
// fails), so only the deadline bounds the wait here. systemctl returns once
// its job is done, so what it leaves behind is no late report.
constexpr unsigned kPollMs = 100;
constexpr unsigned kDeadlineMs = kScmWaitLimits.deadlineMs;
constexpr ServiceWaitLimits kUnitWaitLimits{kPollMs, kPollMs, kDeadlineMs, kDeadlineMs, false};
constexpr unsigned kQueryTimeoutMs = 30000;

std::string UnitName(const std::string& service) {
    return service == "Dnscache" ? "systemd-resolved" : service;
}

struct UnitState {
    std::string active;
    std::string load;
    std::string unitFile;
};

// What `systemctl show` says of the unit; Absent when there is no service
// manager to ask (no systemctl, or a system not booted with systemd).
struct Shown {
    ServiceState failure = ServiceState::Unknown;
    std::optional<UnitState> unit;
};

Shown ShowUnit(const std::string& unit) {
    const std::optional<Captured> shown =
        RunCapture("systemctl", {"show", unit, "--property=ActiveState,LoadState,UnitFileState"}, kQueryTimeoutMs);
    if (!shown) {
        return {ServiceState::Absent, std::nullopt};  // no systemctl here
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

ServiceState QueryState(const std::string& unit) {
    const Shown shown = ShowUnit(unit);
    return shown.unit ? StateOf(*shown.unit) : shown.failure;
}

bool IsKnown(ServiceState state) { return state != ServiceState::Absent && state != ServiceState::Unknown; }

bool RunSystemctl(const std::string& verb, const std::string& unit, unsigned timeoutMs) {
    const std::optional<Captured> run = RunCapture("systemctl", {verb, unit}, timeoutMs);
    return run && run->exitStatus == 0;
}

bool DriveUnit(SystemPlatform& platform, const std::string& unit, const char* verb, ServiceState target,
               ServiceState pending) {
    const ServiceDriver driver{
        [&]() -> std::optional<ServiceStatus> {
            const ServiceState state = QueryState(unit);
            if (!IsKnown(state)) {
                return std::nullopt;
            }
            return ServiceStatus{state, 0, 0};
        },
        // systemctl waits for the job itself; the wait that follows only confirms.
        [&](ServiceStatus&) { return RunSystemctl(verb, unit, kDeadlineMs); },
        [&](unsigned ms) { platform.Sleep(ms); },
        [] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
        },
    };
    return DriveService(driver, target, pending, kUnitWaitLimits);
}

}  // namespace

ServiceState SystemPlatform::GetServiceState(const std::string& name) { return QueryState(UnitName(name)); }

std::optional<StartType> SystemPlatform::GetServiceStartType(const std::string& name) {
    const Shown shown = ShowUnit(UnitName(name));
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
    const Shown before = ShowUnit(unit);
    if (!before.unit || !IsKnown(StateOf(*before.unit))) {
        return false;
    }
    if (before.unit->unitFile == wanted) {
        return true;
    }
    // Judged by the unit-file state afterwards, as systemctl's exit status
    // does not tell a static unit from an enabled one.
    RunSystemctl(startType == StartType::Automatic ? "enable" : "disable", unit, kQueryTimeoutMs);
    const Shown after = ShowUnit(unit);
    return after.unit && after.unit->unitFile == wanted;
}

bool SystemPlatform::StartServiceAndWait(const std::string& name) {
    return DriveUnit(*this, UnitName(name), "start", ServiceState::Running, ServiceState::StartPending);
}

bool SystemPlatform::StopServiceAndWait(const std::string& name) {
    return DriveUnit(*this, UnitName(name), "stop", ServiceState::Stopped, ServiceState::StopPending);
}

Account SystemPlatform::ServiceAccount(const std::string&, const std::vector<std::string>& groups) {
    for (const std::string& name : groups) {
        group entry{};
        group* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
            return Account{std::to_string(found->gr_gid)};
        }
    }
    return {};
}

}  // namespace zephrane
