// The four generated files, compared whole against the texts BIND is given.
#include <gtest/gtest.h>

#include "config/config_files.h"
#include "tests/fake_platform.h"

namespace zephrane {
namespace {

using testing::FakePlatform;
using testing::Lines;

// The expected files are written as on Windows; for the POSIX build the
// drive goes and every '\' becomes '/'.
std::string Native(std::string text) {
    if constexpr (kPathSeparator == '/') {
        for (std::string::size_type at; (at = text.find("C:\\")) != std::string::npos;) {
            text.replace(at, 3, "/");
        }
        for (char& c : text) {
            c = c == '\\' ? '/' : c;
        }
    }
    return text;
}

const KeyLines kKey = {"key \"rndc-key\" {", "\talgorithm hmac-md5;", "\tsecret \"sB4fHx0dG2iLmQ==\";", "};"};

std::string Joined(const KeyLines& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + std::string(kLineEnd);
    }
    return text;
}

std::string RndcConf(const KeyLines& key) {
    return Joined(key) + Lines({
                             "",
                             "options {",
                             "\tdefault-key \"rndc-key\";",
                             "\tdefault-server 127.0.0.1;",
                             "\tdefault-port 953;",
                             "};",
                         });
}

std::string NamedConf(const std::string& d, const KeyLines& key) {
    return Native(Lines({
               "options {",
               "\tallow-query { 127.0.0.1; };",
               "\tallow-recursion { 127.0.0.1; };",
               "\tdirectory \"" + d + "etc\";",
               "\tnotify no;",
               "};",
               "",
               "zone \".\" IN {",
               "\ttype hint;",
               "\tfile \"" + d + "etc\\named.root\";",
               "};",
               "",
               "zone \"localhost\" IN {",
               "\tallow-update { none; };",
               "\tfile \"" + d + "etc\\localhost.zone\";",
               "\ttype master;",
               "};",
               "",
               "zone \"0.0.127.in-addr.arpa\" IN {",
               "\tallow-update { none; };",
               "\tfile \"" + d + "etc\\named.local\";",
               "\ttype master;",
               "};",
               "",
           })) +
           Joined(key) +
           Lines({
               "",
               "controls {",
               "\tinet 127.0.0.1 port 953 allow { 127.0.0.1; } keys { \"rndc-key\"; };",
               "};",
           });
}

const std::string kZoneHead = Lines({
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
const std::string kLocalhostZone = kZoneHead + Lines({"localhost.\t\tA\t127.0.0.1", "ns.localhost.\t\tA\t127.0.0.1"});
const std::string kNamedLocal = kZoneHead + Lines({"1\tIN\tPTR\tlocalhost."});

struct Golden {
    const char* name;
    std::string installDir;  // Windows form
    KeyLines key;
};

class GeneratedFiles : public ::testing::TestWithParam<Golden> {};

TEST_P(GeneratedFiles, AreByteForByteTheExpectedTexts) {
    const Golden& g = GetParam();
    const std::string d = Native(g.installDir);
    FakePlatform platform;
    platform.folders.insert(d + "etc");
    // Leftovers of the same names are replaced, not appended to.
    for (const char* name : {"rndc.conf", "named.conf", "localhost.zone", "named.local"}) {
        platform.files[d + "etc" + kPathSeparator + name] = "leftover";
    }
    WriteRndcConf(platform, d, g.key);
    WriteNamedConf(platform, d, g.key);
    WriteLocalhostZone(platform, d);
    WriteNamedLocal(platform, d);

    const std::string etc = d + "etc" + kPathSeparator;
    EXPECT_EQ(platform.files[etc + "rndc.conf"], RndcConf(g.key));
    EXPECT_EQ(platform.files[etc + "named.conf"], NamedConf(g.installDir, g.key));
    EXPECT_EQ(platform.files[etc + "localhost.zone"], kLocalhostZone);
    EXPECT_EQ(platform.files[etc + "named.local"], kNamedLocal);
    // The two files that carry the secret are opened as private files.
    EXPECT_EQ(platform.fileModes[etc + "rndc.conf"], FileMode::WriteTextPrivate);
    EXPECT_EQ(platform.fileModes[etc + "named.conf"], FileMode::WriteTextPrivate);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, GeneratedFiles,
    ::testing::Values(Golden{"BlanksWithKey", "C:\\Program Files\\ISC BIND 9\\", kKey},
                      Golden{"BlanksWithoutKey", "C:\\Program Files\\ISC BIND 9\\", {}},
                      Golden{"PlainWithKey", "C:\\bind\\", kKey},
                      Golden{"PlainWithoutKey", "C:\\bind\\", {}},
                      Golden{"KeyWithEmptyLine", "C:\\bind\\", {"key \"rndc-key\" {", "", "};"}}),
    [](const ::testing::TestParamInfo<Golden>& info) { return info.param.name; });

TEST(GeneratedFilesWithoutKey, StartWithAnEmptyLineAndKeepTwoAroundTheKey) {
    FakePlatform platform;
    const std::string d = Native("C:\\bind\\");
    platform.folders.insert(d + "etc");
    WriteRndcConf(platform, d, {});
    WriteNamedConf(platform, d, {});
    const std::string end(kLineEnd);
    EXPECT_TRUE(platform.files[d + "etc" + kPathSeparator + "rndc.conf"].starts_with(end + "options {"));
    EXPECT_NE(platform.files[d + "etc" + kPathSeparator + "named.conf"].find("};" + end + end + end + "controls {"),
              std::string::npos);
}

}  // namespace
}  // namespace zephrane
