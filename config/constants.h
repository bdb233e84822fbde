// Fixed values of a configuration run.
#pragma once

#include <string_view>

namespace zephrane {

inline constexpr std::string_view kBindRegistryKey = R"(\Software\ISC\BIND\)";
inline constexpr std::string_view kInstallDirValue = "InstallDir";
inline constexpr std::string_view kNamedService = "named";
inline constexpr std::string_view kRootHintsUrl = "http://www.internic.net/zones/named.root";
inline constexpr std::string_view kKeyFileName = "rndc.key";

// The control channel, written as these exact strings to the generator's
// arguments, rndc.conf and named.conf.
inline constexpr std::string_view kControlAddress = "127.0.0.1";
inline constexpr std::string_view kControlPort = "953";
inline constexpr std::string_view kKeyName = "rndc-key";

// Pause after stopping and after starting named. The service waits already
// end when named is there; the pauses stay on purpose, as scripts that run
// the tool may time against them.
inline constexpr unsigned kServicePauseMs = 2000;

}  // namespace zephrane
