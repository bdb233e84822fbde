// The systemd backend's service changes, with bounds of the caller's
// choosing: SystemPlatform gives kUnitWaitLimits, tests shorter ones.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/service_wait.h"

namespace zephrane {

// systemd reports no checkpoints or wait hints: poll at a fixed pace, and let
// systemd's own start and stop time-outs end a pending state (the unit then
// fails), so only the deadline bounds the wait. systemctl returns once its
// job is done, so what it leaves behind is no late report.
inline constexpr ServiceWaitLimits kUnitWaitLimits{100, 100, kScmWaitLimits.deadlineMs, kScmWaitLimits.deadlineMs,
                                                   false};

// Starts or stops `unit` through the systemctl on PATH; the whole change,
// every systemctl call included, takes no longer than limits.deadlineMs.
bool ChangeUnit(Platform& platform, const std::string& unit, bool start, const ServiceWaitLimits& limits);

}  // namespace zephrane
