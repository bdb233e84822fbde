// Bringing a service to a state and waiting until it gets there, shared by
// both backends. The backend supplies the system calls; this decides when
// the wait is over.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace zephrane {

// Service states, by their Windows numbers.
inline constexpr std::uint32_t kStateStopped = 1;
inline constexpr std::uint32_t kStateStartPending = 2;
inline constexpr std::uint32_t kStateStopPending = 3;
inline constexpr std::uint32_t kStateRunning = 4;

struct ServiceStatus {
    std::uint32_t state = 0;
    std::uint32_t checkPoint = 0;  // raised by a pending service as it makes progress
    std::uint32_t waitHint = 0;    // milliseconds until the next sign of progress is due
};

struct ServiceWaitLimits {
    unsigned minPollMs;   // never poll faster, whatever the wait hint
    unsigned maxPollMs;   // never sleep longer in one pass
    unsigned minStallMs;  // no progress for longer than max(wait hint, this) is failure
    unsigned deadlineMs;  // the whole change, control call included, takes no longer
};

// The Service Control Manager: poll by the wait hints; a service that
// reports hint 0 still gets 2 s to show progress, as many services never
// set a hint while pending.
inline constexpr ServiceWaitLimits kScmWaitLimits{10, 10000, 2000, 120000};

// What one change needs from the system.
struct ServiceDriver {
    std::function<std::optional<ServiceStatus>()> query;  // nullopt: query failed
    // Asks for the change; may refresh `status` with what the system answered.
    std::function<bool(ServiceStatus& status)> control;
    std::function<void(unsigned milliseconds)> sleep;
    std::function<std::uint64_t()> clockMs;  // monotonic
};

// Brings the service to `target` (kStateRunning or kStateStopped) through
// `pending`: true when it is there at the end. A service already there is
// left alone: no control call, no sleep. The wait ends as soon as the
// service is neither in `target` nor in `pending`, when its checkpoint goes
// back, when it stalls, or at the deadline.
bool DriveService(const ServiceDriver& driver, std::uint32_t target, std::uint32_t pending,
                  const ServiceWaitLimits& limits);

}  // namespace zephrane
