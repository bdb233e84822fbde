#include "config/config_files.h"

#include "config/constants.h"
#include "config/install_paths.h"
#include "platform/paths.h"

namespace zephrane {
namespace {

using Lines = std::vector<std::string>;

Lines Joined(std::initializer_list<Lines> parts) {
    Lines lines;
    for (const Lines& part : parts) {
        lines.insert(lines.end(), part.begin(), part.end());
    }
    return lines;
}

// The SOA and NS records both zone files begin with.
const Lines kZoneHead = {
    "$TTL 3D",
    "@\tIN\tSOA\tns.localhost.\thostmaster.localhost. (",
    "\t\t\t\t\t11",
    "\t\t\t\t\t8H",
    "\t\t\t\t\t2H",
    "\t\t\t\t\t4W",
    "\t\t\t\t\t1D",
    "\t\t\t)",
    "",
    "\tIN\tNS\tns.localhost.",
    "",
};

// The control channel as the generator was told it (config/control_key.cpp).
const std::string kKey(kKeyName);
const std::string kAddress(kControlAddress);
const std::string kPort(kControlPort);

Lines RndcConf(const KeyLines& keyLines) {
    return Joined({keyLines,
                   {
                       "",
                       "options {",
                       "\tdefault-key \"" + kKey + "\";",
                       "\tdefault-server " + kAddress + ";",
                       "\tdefault-port " + kPort + ";",
                       "};",
                   }});
}

// The root's keys, trusted at named's first start in a new etc; named
// follows later rolls of the root key by itself, as before.
Lines TrustAnchors() {
    Lines lines = {"", std::string(kTrustAnchorsStatement) + " {"};
    for (const RootKey& key : kRootKeys) {
        lines.push_back("\t// " + std::string(key.label));
        lines.push_back("\t. initial-key 257 3 " + std::to_string(key.algorithm) + " \"" + std::string(key.publicKey) +
                        "\";");
    }
    lines.push_back("};");
    return lines;
}

Lines NamedConf(const std::string& installDir, const KeyLines& keyLines) {
    const std::string etc = EtcFolder(installDir);
    return Joined({{
                       "options {",
                       "\tallow-query { 127.0.0.1; };",
                       "\tallow-recursion { 127.0.0.1; };",
                       "\tdirectory \"" + StripTrailingSeparator(etc) + "\";",
                       "\tnotify no;",
                       "};",
                       "",
                       "zone \".\" IN {",
                       "\ttype hint;",
                       "\tfile \"" + etc + "named.root\";",
                       "};",
                       "",
                       "zone \"localhost\" IN {",
                       "\tallow-update { none; };",
                       "\tfile \"" + etc + "localhost.zone\";",
                       "\ttype master;",
                       "};",
                       "",
                       "zone \"0.0.127.in-addr.arpa\" IN {",
                       "\tallow-update { none; };",
                       "\tfile \"" + etc + "named.local\";",
                       "\ttype master;",
                       "};",
                       "",
                   },
                   keyLines,
                   {
                       "",
                       "controls {",
                       // Only this machine, from the address the channel listens on.
                       "\tinet " + kAddress + " port " + kPort + " allow { " + kAddress + "; } keys { \"" + kKey +
                           "\"; };",
                       "};",
                   },
                   TrustAnchors()});
}

}  // namespace

std::vector<ConfigFile> ConfigFiles(const std::string& installDir, const KeyLines& keyLines) {
    return {
        {"rndc.conf", FileAccess::Secret, RndcConf(keyLines)},
        // named reads it as its own account, also on every reload.
        {"named.conf", FileAccess::ServerReads, NamedConf(installDir, keyLines)},
        {"localhost.zone", FileAccess::Plain, Joined({kZoneHead, {"localhost.\t\tA\t127.0.0.1", "ns.localhost.\t\tA\t127.0.0.1"}})},
        {"named.local", FileAccess::Plain, Joined({kZoneHead, {"1\tIN\tPTR\tlocalhost."}})},
    };
}

}  // namespace zephrane
