// The four files that make BIND a resolver for this machine only.
#pragma once

#include <string>
#include <vector>

#include "config/control_key.h"
#include "platform/platform.h"

namespace zephrane {

struct ConfigFile {
    std::string name;
    FileAccess access;  // the two that carry the key are for administrators (and named) only
    std::vector<std::string> lines;
};

// rndc.conf, named.conf, localhost.zone and named.local, in the order they
// are written, for the etc folder below `installDir`.
std::vector<ConfigFile> ConfigFiles(const std::string& installDir, const KeyLines& keyLines);

}  // namespace zephrane
