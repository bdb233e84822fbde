#include "io/folders.h"

#include "platform/paths.h"
#include "platform/run_error.h"

namespace zephrane {

bool ForceDirectories(Platform& platform, const std::string& path) {
    if (path.empty()) {
        ThrowEmptyPath();
    }
    const std::string folder = StripTrailingSeparator(path);
    // Drive roots ("C:") and anything already there need no work.
    if (folder.size() < 3 || platform.DirectoryExists(folder) || ExtractFilePath(folder) == folder) {
        return true;
    }
    return ForceDirectories(platform, ExtractFilePath(folder)) && platform.CreateFolder(folder);
}

}  // namespace zephrane
