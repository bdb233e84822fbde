#include "config/install_paths.h"

#include "config/constants.h"

namespace zephrane {

std::string ReadInstallDir(Platform& platform) {
    std::string folder = platform.ReadRegistryString(std::string(kBindRegistryKey), std::string(kInstallDirValue));
    if (!folder.empty() && folder.back() != kPathSeparator) {
        folder.push_back(kPathSeparator);
    }
    return folder;
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
