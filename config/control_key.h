// The control-channel key: made by BIND's own generator in the etc folder,
// read back as lines, and never left behind.
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

// The key file in the etc folder from the moment the generator may have
// written it: deleted on every way out of the run, error reports included.
class KeyFile {
public:
    explicit KeyFile(Folder& etc) : etc_(etc) {}
    KeyFile(const KeyFile&) = delete;
    KeyFile& operator=(const KeyFile&) = delete;
    ~KeyFile();

    // Its lines, read by the text-file rules.
    KeyLines Read();
    bool Delete();

private:
    Folder& etc_;
    bool deleted_ = false;
};

}  // namespace zephrane
