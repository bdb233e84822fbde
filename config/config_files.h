// The four files that make BIND a resolver for this machine only.
#pragma once

#include <string>

#include "config/control_key.h"
#include "platform/platform.h"

namespace zephrane {

// Each creates or replaces its file in the etc folder below `installDir`.
void WriteRndcConf(Platform& platform, const std::string& installDir, const KeyLines& keyLines);
void WriteNamedConf(Platform& platform, const std::string& installDir, const KeyLines& keyLines);
void WriteLocalhostZone(Platform& platform, const std::string& installDir);
void WriteNamedLocal(Platform& platform, const std::string& installDir);

}  // namespace zephrane
