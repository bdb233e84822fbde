// BIND's installation folder and the paths derived from it by concatenation.
#pragma once

#include <string>

#include "platform/platform.h"

namespace zephrane {

// InstallDir from the registry, ending with a separator; empty when the
// registry gives none.
std::string ReadInstallDir(Platform& platform);

// Whether `installDir` may be used at all: an absolute path (a drive or a
// UNC name on Windows, '/' on POSIX) below the root of its file system,
// without "." or ".." folders, which would let it name another folder than
// it seems to (the root's etc is the system's), and without '"' or control
// bytes, which would break the quoting of named.conf and of the
// generator's arguments.
bool IsUsableInstallDir(const std::string& installDir);

std::string BinFolder(const std::string& installDir);
std::string EtcFolder(const std::string& installDir);
std::string EtcFile(const std::string& installDir, const std::string& fileName);
std::string KeyGeneratorPath(const std::string& installDir);

}  // namespace zephrane
