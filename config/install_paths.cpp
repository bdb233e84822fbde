#include "config/install_paths.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "config/constants.h"

namespace zephrane {
namespace {

// How many characters of `path` name the root of its file system: "/",
// "C:\" or "\\server\share\"; 0 when it is no absolute path.
std::size_t RootLength(const std::string& path) {
    if constexpr (kHasDriveMark) {
        if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) != 0 && path[1] == ':' &&
            path[2] == kPathSeparator) {
            return 3;
        }
        if (!path.starts_with(std::string(2, kPathSeparator))) {
            return 0;
        }
        // A share's root: its server and share names, each not empty.
        const std::size_t server = path.find(kPathSeparator, 2);
        const std::size_t share = server == std::string::npos ? server : path.find(kPathSeparator, server + 1);
        return server > 2 && share != std::string::npos && share > server + 1 ? share + 1 : 0;
    } else {
        return path.starts_with(kPathSeparator) ? 1 : 0;
    }
}

// The folder names below the root; doubled separators give empty ones.
std::vector<std::string_view> Components(std::string_view path) {
    std::vector<std::string_view> names;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t end = std::min(path.find(kPathSeparator, at), path.size());
        names.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return names;
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
    const std::size_t root = RootLength(installDir);
    if (root == 0 || std::any_of(installDir.begin(), installDir.end(), [](char c) {
            return c == '"' || static_cast<unsigned char>(c) < 0x20 || (kHasDriveMark && c == '?');
        })) {
        return false;
    }
    // A share's server and share names count too: "\\.\" is a device path.
    const std::vector<std::string_view> names = Components(std::string_view(installDir).substr(root == 1 ? 1 : 2));
    const bool dotted = std::any_of(names.begin(), names.end(), [](std::string_view n) { return n == "." || n == ".."; });
    const std::vector<std::string_view> below = Components(std::string_view(installDir).substr(root));
    const bool named = std::any_of(below.begin(), below.end(), [](std::string_view n) { return !n.empty(); });
    return named && !dotted;
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
