#include "config/control_key.h"

#include "config/constants.h"
#include "config/install_paths.h"
#include "io/text_file.h"

namespace zephrane {
namespace {
std::string Quoted(std::string_view text) {
    std::string quoted(1, '"');
    quoted.append(text);
    quoted.push_back('"');
    return quoted;
}
}  // namespace

std::string KeyGeneratorArguments(const std::string& installDir) {
    return "-a -b " + Quoted("512") + " -c " + Quoted(EtcFile(installDir, std::string(kKeyFileName))) + " -k " +
           Quoted(kKeyName) + " -p " + Quoted(kControlPort) + " -s " + Quoted(kControlAddress);
}

bool GenerateKey(Platform& platform, const std::string& installDir) {
    return platform.RunAndWait(KeyGeneratorPath(installDir), KeyGeneratorArguments(installDir));
}

KeyFile::~KeyFile() {
    if (!deleted_) {
        etc_.DeleteFile(std::string(kKeyFileName));
    }
}

KeyLines KeyFile::Read() { return ReadTextFile(etc_, std::string(kKeyFileName)); }

bool KeyFile::Delete() {
    deleted_ = etc_.DeleteFile(std::string(kKeyFileName));
    return deleted_;
}

}  // namespace zephrane
