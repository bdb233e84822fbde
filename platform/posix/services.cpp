// Services are systemd units, driven through the systemctl found on PATH.
#include <string_view>

#include <chrono>

#include "platform/posix/run_capture.h"
#include "platform/service_wait.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

// systemd reports no checkpoints or wait hints: poll at a fixed pace, and let
// systemd's own start and stop time-outs end a pending state (the unit then
// fails), so only the deadline bounds the wait here.
constexpr unsigned kPollMs = 100;
constexpr unsigned kDeadlineMs = kScmWaitLimits.deadlineMs;
constexpr ServiceWaitLimits kUnitWaitLimits{kPollMs, kPollMs, kDeadlineMs, kDeadlineMs};
constexpr unsigned kQueryTimeoutMs = 30000;

std::string UnitName(const std::string& service) {
    return service == "Dnscache" ? "systemd-resolved" : service;
}

struct UnitState {
    std::string active;
    std::string load;
    std::string unitFile;
};

std::optional<UnitState> ShowUnit(const std::string& unit) {
    const std::optional<Captured> shown =
        RunCapture("systemctl", {"show", unit, "--property=ActiveState,LoadState,UnitFileState"}, kQueryTimeoutMs);
    if (!shown || shown->exitStatus != 0) {
        return std::nullopt;
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
    return state;
}

// The Windows state number of a unit; -1 for one that did not load.
int StateNumber(const UnitState& unit) {
    if (unit.load.empty() || unit.load == "not-found" || unit.load == "bad-setting" || unit.load == "error") {
        return -1;
    }
    const std::string& active = unit.active;
    if (active == "active" || active == "reloading" || active == "refreshing") {
        return kStateRunning;
    }
    if (active == "activating") {
        return kStateStartPending;
    }
    if (active == "deactivating") {
        return kStateStopPending;
    }
    if (active == "inactive" || active == "failed") {
        return kStateStopped;
    }
    return -1;
}

int QueryState(const std::string& unit) {
    const std::optional<UnitState> state = ShowUnit(unit);
    return state ? StateNumber(*state) : -1;
}

bool RunSystemctl(const std::string& verb, const std::string& unit, unsigned timeoutMs) {
    const std::optional<Captured> run = RunCapture("systemctl", {verb, unit}, timeoutMs);
    return run && run->exitStatus == 0;
}

bool DriveUnit(SystemPlatform& platform, const std::string& unit, const char* verb, std::uint32_t target,
               std::uint32_t pending) {
    const ServiceDriver driver{
        [&]() -> std::optional<ServiceStatus> {
            const int state = QueryState(unit);
            if (state < 0) {
                return std::nullopt;
            }
            return ServiceStatus{static_cast<std::uint32_t>(state), 0, 0};
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

int SystemPlatform::GetServiceState(const std::string& name) { return QueryState(UnitName(name)); }

bool SystemPlatform::SetServiceStartType(const std::string& name, int startType) {
    // systemd knows only these two of the Windows start types.
    const char* wanted = startType == 2 ? "enabled" : startType == 3 ? "disabled" : nullptr;
    if (wanted == nullptr) {
        return false;
    }
    const std::string unit = UnitName(name);
    const std::optional<UnitState> before = ShowUnit(unit);
    if (!before || StateNumber(*before) < 0) {
        return false;
    }
    if (before->unitFile == wanted) {
        return true;
    }
    // Judged by the unit-file state afterwards, as systemctl's exit status
    // does not tell a static unit from an enabled one.
    RunSystemctl(startType == 2 ? "enable" : "disable", unit, kQueryTimeoutMs);
    const std::optional<UnitState> after = ShowUnit(unit);
    return after && after->unitFile == wanted;
}

bool SystemPlatform::StartServiceAndWait(const std::string& name) {
    return DriveUnit(*this, UnitName(name), "start", kStateRunning, kStateStartPending);
}

bool SystemPlatform::StopServiceAndWait(const std::string& name) {
    return DriveUnit(*this, UnitName(name), "stop", kStateStopped, kStateStopPending);
}

}  // namespace zephrane
