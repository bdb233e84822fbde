#include "platform/holds.h"

#include "platform/system_platform.h"

namespace zephrane {

std::unique_ptr<Hold> SystemPlatform::LockFolder(const std::string& path) { return LockFolderWithin(path, kLockWait); }

}  // namespace zephrane
