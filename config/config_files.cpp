#include "config/config_files.h"

#include <initializer_list>

#include "config/install_paths.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace zephrane {
namespace {

void WriteLines(TextWriter& file, std::initializer_list<std::string> lines) {
    for (const std::string& line : lines) {
        file.WriteLine(line);
    }
}

void WriteLines(TextWriter& file, const KeyLines& lines) {
    for (const std::string& line : lines) {
        file.WriteLine(line);
    }
}

// The SOA and NS records both zone files begin with.
void WriteZoneHead(TextWriter& file) {
    WriteLines(file, {
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
    });
}

}  // namespace

void WriteRndcConf(Platform& platform, const std::string& installDir, const KeyLines& keyLines) {
    TextWriter file(platform, EtcFile(installDir, "rndc.conf"), FileMode::WriteTextPrivate);
    WriteLines(file, keyLines);
    WriteLines(file, {
        "",
        "options {",
        "\tdefault-key \"rndc-key\";",
        "\tdefault-server 127.0.0.1;",
        "\tdefault-port 953;",
        "};",
    });
    file.Close();
}

void WriteNamedConf(Platform& platform, const std::string& installDir, const KeyLines& keyLines) {
    const std::string etc = EtcFolder(installDir);
    TextWriter file(platform, etc + "named.conf", FileMode::WriteTextPrivate);
    WriteLines(file, {
        "options {",
        "\tallow-query { 127.0.0.1; };",
        "\tallow-recursion { 127.0.0.1; };",
        "\tdirectory \"" + StripTrailingBackslash(etc) + "\";",
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
    });
    WriteLines(file, keyLines);
    WriteLines(file, {
        "",
        "controls {",
        "\tinet 127.0.0.1 port 953 allow { 127.0.0.1; } keys { \"rndc-key\"; };",
        "};",
    });
    file.Close();
}

void WriteLocalhostZone(Platform& platform, const std::string& installDir) {
    TextWriter file(platform, EtcFile(installDir, "localhost.zone"));
    WriteZoneHead(file);
    WriteLines(file, {
        "localhost.\t\tA\t127.0.0.1",
        "ns.localhost.\t\tA\t127.0.0.1",
    });
    file.Close();
}

void WriteNamedLocal(Platform& platform, const std::string& installDir) {
    TextWriter file(platform, EtcFile(installDir, "named.local"));
    WriteZoneHead(file);
    WriteLines(file, {
        "1\tIN\tPTR\tlocalhost.",
    });
    file.Close();
}

}  // namespace zephrane
