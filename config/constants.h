// Fixed values of a configuration run.
#pragma once

#include <array>
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

// A root key-signing key as the root zone publishes it (DNSKEY flags 257,
// protocol 3), to be trusted at named's first start in a new etc.
struct RootKey {
    std::string_view label;
    unsigned algorithm;
    std::string_view publicKey;  // base64
};

// The root's key-signing keys as IANA publishes them (root-anchors.xml; also
// Debian's dns-root-data). BIND on Windows has only KSK-2017 built in, and a
// run's new etc holds nothing named learned of later keys, so it must be told
// of the current one. Change these at the next root key roll, not before.
inline constexpr std::array<RootKey, 2> kRootKeys = {{
    {"KSK-2017, key tag 20326", 8,
     "AwEAAaz/tAm8yTn4Mfeh5eyI96WSVexTBAvkMgJzkKTOiW1vkIbzxeF3+/4RgWOq7HrxRixHlFlExOLAJr5emLvN7SWXgnLh4+B5xQlNVz8Og8k"
     "vArMtNROxVQuCaSnIDdD5LKyWbRd2n9WGe2R8PzgCmr3EgVLrjyBxWezF0jLHwVN8efS3rCj/EWgvIWgb9tarpVUDK/b58Da+sqqls3eNbuv7pr"
     "+eoZG+SrDK6nWeL3c6H5Apxz7LjVc1uTIdsIXxuOLYA4/ilBmSVIzuDWfdRUfhHdY6+cn8HFRm+2hM8AnXGXws9555KrUB5qihylGa8subX2Nn6U"
     "wNR1AkUTV74bU="},
    {"KSK-2024, key tag 38696", 8,
     "AwEAAa96jeuknZlaeSrvyAJj6ZHv28hhOKkx3rLGXVaC6rXTsDc449/cidltpkyGwCJNnOAlFNKF2jBosZBU5eeHspaQWOmOElZsjICMQMC3aeH"
     "bGiShvZsx4wMYSjH8e7Vrhbu6irwCzVBApESjbUdpWWmEnhathWu1jo+siFUiRAAxm9qyJNg/wOZqqzL/dL/q8PkcRU5oUKEpUge71M3ej2/7CPq"
     "pdVwuMoTvoB+ZOT4YeGyxMvHmbrxlFzGOHOijtzN+u1TQNatX2XBuzZNQ1K+s2CXkPIZo7s6JgZyvaBevYtxPvYLw4z9mR7K2vaF18UYH9Z9GNU"
     "UeayffKC73PYc="},
}};

// Pause after stopping and after starting named. The service waits already
// end when named is there; the pauses stay on purpose, as scripts that run
// the tool may time against them.
inline constexpr unsigned kServicePauseMs = 2000;

}  // namespace zephrane
