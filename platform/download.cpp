#include "platform/download.h"

#include "platform/system_platform.h"

namespace zephrane {

std::optional<std::string> SystemPlatform::Download(const std::string& url) {
    return DownloadWithin(url, kDownloadLimits);
}

}  // namespace zephrane
