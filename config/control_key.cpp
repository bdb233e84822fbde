#include "config/control_key.h"

#include "config/constants.h"
#include "config/install_paths.h"
#include "platform/text_file.h"

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
    return "-a -b " + Quoted("512") + " -c " + Quoted(EtcFile(installDir, "rndc.key")) + " -k " + Quoted(kKeyName) +
           " -p " + Quoted(kControlPort) + " -s " + Quoted(kControlAddress);
}

bool GenerateKey(Platform& platform, const std::string& installDir) {
    if (platform.RunAndWait(KeyGeneratorPath(installDir), KeyGeneratorArguments(installDir))) {
        return true;
    }
    // A generator killed at the deadline may have left half a key behind;
    // without the file the run reports the key as not generated.
    platform.DeleteFile(EtcFile(installDir, "rndc.key"));
    return false;
}

KeyLines ReadKeyLines(Platform& platform, const std::string& path) {
    KeyLines lines;
    TextReader reader(platform, path);
    while (!reader.Eof()) {
        lines.push_back(reader.ReadLine());
    }
    reader.Close();
    return lines;
}

}  // namespace zephrane
