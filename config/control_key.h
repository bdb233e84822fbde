// The control-channel key: made by BIND's own generator, read back as lines.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace zephrane {

using KeyLines = std::vector<std::string>;

// The generator's argument string for installation folder `installDir`.
std::string KeyGeneratorArguments(const std::string& installDir);

// Runs the generator, which writes etc/rndc.key; true when it ran and exited.
// When it did not (missing, not startable, killed at the deadline) no key
// file is left behind.
bool GenerateKey(Platform& platform, const std::string& installDir);

// The lines of the key file, read by the text-file rules.
KeyLines ReadKeyLines(Platform& platform, const std::string& path);

}  // namespace zephrane
