#include "platform/system_platform.h"

namespace zephrane {

// Not built yet: reports failure and writes nothing.
bool SystemPlatform::DownloadFile(const std::string&, const std::string&) { return false; }

}  // namespace zephrane
