#include "config/control_key.h"

#include "config/constants.h"
#include "config/install_paths.h"

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

bool GenerateKey(Platform& platform, const Program& generator, const std::string& installDir) {
    return platform.RunAndWait(generator, KeyGeneratorArguments(installDir));
}

}  // namespace zephrane
