#include "platform/service_wait.h"

#include <algorithm>

namespace zephrane {
namespace {

bool IsPending(ServiceState state) {
    return state == ServiceState::StartPending || state == ServiceState::StopPending ||
           state == ServiceState::ContinuePending || state == ServiceState::PausePending;
}

class Wait {
public:
    Wait(const ServiceDriver& driver, const ServiceWaitLimits& limits)
        : driver_(driver), limits_(limits), begin_(driver.clockMs()) {}

    // Polls from `status` while the service is in `through` (raising its
    // checkpoint) or, until it has left it once, still in `unmoved`. The
    // status it settled in; nullopt when the query failed, the checkpoint
    // went back, the service stalled or the deadline came.
    std::optional<ServiceStatus> Until(ServiceStatus status, ServiceState through, ServiceState unmoved) {
        std::uint64_t lastProgress = driver_.clockMs();
        for (;;) {
            const std::uint64_t elapsed = driver_.clockMs() - begin_;
            if (elapsed >= limits_.deadlineMs) {
                return std::nullopt;
            }
            // A hint of 0 would spin; a long one is split so the deadline holds.
            const std::uint64_t pause =
                std::clamp<std::uint64_t>(status.waitHint, limits_.minPollMs, limits_.maxPollMs);
            driver_.sleep(static_cast<unsigned>(std::min(pause, limits_.deadlineMs - elapsed)));

            const std::optional<ServiceStatus> next = driver_.query();
            if (!next) {
                return std::nullopt;
            }
            const bool stillUnmoved = next->state == unmoved && status.state == unmoved;
            if (next->state != through && !stillUnmoved) {
                return next;
            }
            // A pending service whose checkpoint goes back has begun over.
            if (next->state == through && status.state == through && next->checkPoint < status.checkPoint) {
                return std::nullopt;
            }
            const std::uint64_t now = driver_.clockMs();
            if (next->checkPoint != status.checkPoint || next->state != status.state) {
                lastProgress = now;
            } else if (now - lastProgress > std::max<std::uint64_t>(next->waitHint, limits_.minStallMs)) {
                return std::nullopt;  // the service missed its own promise of progress
            }
            status = *next;
        }
    }

    bool Control(ServiceStatus& status) const { return driver_.control(status); }

private:
    const ServiceDriver& driver_;
    const ServiceWaitLimits& limits_;
    std::uint64_t begin_;
};

}  // namespace

bool DriveService(const ServiceDriver& driver, ServiceState target, ServiceState pending,
                  const ServiceWaitLimits& limits) {
    std::optional<ServiceStatus> status = driver.query();
    if (!status || status->state == target) {
        return status.has_value();
    }
    Wait wait(driver, limits);
    if (limits.lateReports && IsPending(status->state) && status->state != pending) {
        status = wait.Until(*status, status->state, status->state);
        if (!status || status->state == target) {
            return status.has_value();
        }
    }
    // Without late reports the state before the control is final once the
    // control call has returned.
    ServiceState unmoved = pending;
    if (status->state != pending) {
        unmoved = limits.lateReports ? status->state : pending;
        if (!wait.Control(*status)) {
            return false;
        }
    }
    status = wait.Until(*status, pending, unmoved);
    return status && status->state == target;
}

}  // namespace zephrane
