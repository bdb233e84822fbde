// The control-channel key: made by BIND's own generator in the etc folder.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace zephrane {

using KeyLines = std::vector<std::string>;

// The generator's argument string for installation folder `installDir`.
std::string KeyGeneratorArguments(const std::string& installDir);

// Runs the generator, which writes etc/rndc.key; true when it ran and exited
// by itself (not when it was missing, not startable or ended at the deadline).
bool GenerateKey(Platform& platform, const std::string& installDir);

}  // namespace zephrane
