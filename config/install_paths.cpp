#include "config/install_paths.h"

#include <algorithm>
#include <cctype>

#include "config/constants.h"

namespace zephrane {
namespace {

bool IsAbsolute(const std::string& path) {
    if constexpr (kHasDriveMark) {
        const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) != 0 &&
                           path[1] == ':' && path[2] == kPathSeparator;
        return drive || path.starts_with(std::string(2, kPathSeparator));
    } else {
        return path.starts_with(kPathSeparator);
    }
}

}  // namespace

std::string ReadInstallDir(Platform& platform) {
    std::string folder = platform.ReadRegistryString(std::string(kBindRegistryKey), std::string(kInstallDirValue));
    if (!folder.empty() && folder.back() != kPathSeparator) {
        folder.push_back(kPathSeparator);
    }
    return folder;
}

bool IsUsableInstallDir(const std::string& installDir) {
    return IsAbsolute(installDir) && std::none_of(installDir.begin(), installDir.end(), [](char c) {
               return c == '"' || static_cast<unsigned char>(c) < 0x20;
           });
}

std::string BinFolder(const std::string& installDir) { return installDir + "bin" + kPathSeparator; }

std::string EtcFolder(const std::string& installDir) { return installDir + "etc" + kPathSeparator; }

std::string EtcFile(const std::string& installDir, const std::string& fileName) {
    return EtcFolder(installDir) + fileName;
}

std::string KeyGeneratorPath(const std::string& installDir) {
    return BinFolder(installDir) + std::string(kKeyGeneratorName);
}

}  // namespace zephrane
