// Fixed values of a configuration run.
#pragma once

#include <string_view>

namespace zephrane {

inline constexpr std::string_view kBindRegistryKey = R"(\Software\ISC\BIND\)";
inline constexpr std::string_view kInstallDirValue = "InstallDir";
inline constexpr std::string_view kNamedService = "named";
inline constexpr std::string_view kRootHintsUrl = "http://www.internic.net/zones/named.root";

// The control channel, written as these exact strings.
inline constexpr std::string_view kControlAddress = "127.0.0.1";
inline constexpr std::string_view kControlPort = "953";
inline constexpr std::string_view kKeyName = "rndc-key";

inline constexpr int kServiceStopped = 1;
inline constexpr int kServiceRunning = 4;
inline constexpr int kStartAutomatic = 2;
inline constexpr int kStartOnDemand = 3;

// Pause after stopping and after starting named.
inline constexpr unsigned kServicePauseMs = 2000;

}  // namespace zephrane
