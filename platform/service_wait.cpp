#include "platform/service_wait.h"

#include <algorithm>

namespace zephrane {

bool DriveService(const ServiceDriver& driver, std::uint32_t target, std::uint32_t pending,
                  const ServiceWaitLimits& limits) {
    std::optional<ServiceStatus> status = driver.query();
    if (!status) {
        return false;
    }
    if (status->state == target) {
        return true;
    }
    const std::uint64_t begin = driver.clockMs();
    if (!driver.control(*status)) {
        return false;
    }
    std::uint64_t lastProgress = driver.clockMs();
    for (;;) {
        const std::uint64_t elapsed = driver.clockMs() - begin;
        if (elapsed >= limits.deadlineMs) {
            return false;
        }
        // A hint of 0 would spin; a long one is split so the deadline holds.
        const std::uint64_t pause = std::clamp<std::uint64_t>(status->waitHint, limits.minPollMs, limits.maxPollMs);
        driver.sleep(static_cast<unsigned>(std::min(pause, limits.deadlineMs - elapsed)));

        const std::optional<ServiceStatus> next = driver.query();
        if (!next) {
            return false;
        }
        if (next->state == target) {
            return true;
        }
        // Settled elsewhere (a start that fell back to stopped), or a start
        // attempt that began over: this wait will not see the target.
        if (next->state != pending || next->checkPoint < status->checkPoint) {
            return false;
        }
        const std::uint64_t now = driver.clockMs();
        if (next->checkPoint != status->checkPoint || next->state != status->state) {
            lastProgress = now;
        } else if (now - lastProgress > std::max<std::uint64_t>(next->waitHint, limits.minStallMs)) {
            return false;  // the service missed its own promise of progress
        }
        status = next;
    }
}

}  // namespace zephrane
