// Holding a folder for one run at a time. Each backend implements
// LockFolderWithin; SystemPlatform::LockFolder calls it with kLockWait.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace zephrane {

// Longer than a whole run can take with every wait at its bound, so that
// only a run that hangs (or another program) can make the wait end.
inline constexpr std::chrono::milliseconds kLockWait{std::chrono::minutes(10)};

// Takes the lock of folder `path`, waiting at most `wait` while another
// process holds it; nullptr then. Released when destroyed or when the
// holder ends, however it ends.
std::unique_ptr<Hold> LockFolderWithin(const std::string& path, std::chrono::milliseconds wait);

}  // namespace zephrane
