// The control-channel key: made by BIND's own generator in the etc folder.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace zephrane {

using KeyLines = std::vector<std::string>;

// The generator's argument string for installation folder `installDir`.
std::string KeyGeneratorArguments(const std::string& installDir);

// Runs the generator held for `installDir`, which writes etc/rndc.key; true
// when it ran and exited by itself (not when it was not startable or was
// ended at the deadline).
bool GenerateKey(Platform& platform, const Program& generator, const std::string& installDir);

}  // namespace zephrane
