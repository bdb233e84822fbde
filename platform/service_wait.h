// Bringing a service to a state and waiting until it gets there, shared by
// both backends. The backend supplies the system calls; this decides when
// the wait is over.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/platform.h"

namespace zephrane {

struct ServiceStatus {
    ServiceState state = ServiceState::Unknown;
    std::uint32_t checkPoint = 0;  // raised by a pending service as it makes progress
    std::uint32_t waitHint = 0;    // milliseconds until the next sign of progress is due
};

struct ServiceWaitLimits {
    unsigned minPollMs;   // never poll faster, whatever the wait hint
    unsigned maxPollMs;   // never sleep longer in one pass
    unsigned minStallMs;  // no progress for longer than max(wait hint, this) is failure
    unsigned deadlineMs;  // the whole change, control call included, takes no longer
    // The system answers a control before the service has reacted: a service
    // reports its pending state from a thread of its own, after its handler
    // returned. So the state from before the control call has not moved yet
    // until a different one was seen, and a service in the middle of another
    // change (one that accepts no control then) is let finish it first.
    bool lateReports;
};

// The Service Control Manager: poll by the wait hints; a service that
// reports hint 0 still gets 2 s to show progress, as many services never
// set a hint while pending.
inline constexpr ServiceWaitLimits kScmWaitLimits{10, 10000, 2000, 120000, true};

// What one change needs from the system.
struct ServiceDriver {
    std::function<std::optional<ServiceStatus>()> query;  // nullopt: query failed
    // Asks for the change; may refresh `status` with what the system answered.
    std::function<bool(ServiceStatus& status)> control;
    std::function<void(unsigned milliseconds)> sleep;
    std::function<std::uint64_t()> clockMs;  // monotonic
};

// Brings the service to `target` (Running or Stopped) through `pending`:
// true when it is there at the end. A service already there is left alone:
// no control call, no sleep; one already in `pending` is only waited for.
// The wait fails as soon as the service settles in another state, when its
// checkpoint goes back, when it stalls, or at the deadline.
bool DriveService(const ServiceDriver& driver, ServiceState target, ServiceState pending,
                  const ServiceWaitLimits& limits);

}  // namespace zephrane
