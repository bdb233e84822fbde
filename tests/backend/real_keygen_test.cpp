// BIND's own key generator run as a configuration run runs it, and BIND's own
// checkers on the files written from its key (Debian's bind9-utils and bind9).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "config/config_files.h"
#include "config/control_key.h"
#include "config/install_paths.h"
#include "platform/system_platform.h"
#include "tests/backend/temp_folder.h"

namespace zephrane {
namespace {

using testing::TempFolder;

const std::string kGenerator = "/usr/sbin/rndc-confgen";

// Runs a checker through the shell; the paths have blanks but no quotes.
int Check(const std::string& checker, const std::string& path) {
    return std::system((checker + " '" + path + "'").c_str());
}

TEST(RealKeyGenerator, KeyItWritesMakesFilesBindAccepts) {
    TempFolder temp;
    const std::string d = temp.Create("ISC BIND 9");
    const std::string etc = temp.Create("ISC BIND 9/etc");
    SystemPlatform system;
    ASSERT_TRUE(system.FileExists(kGenerator)) << "bind9-utils is not installed";

    ASSERT_TRUE(system.RunAndWait(kGenerator, KeyGeneratorArguments(d)));
    const KeyLines key = ReadKeyLines(system, EtcFile(d, "rndc.key"));
    ASSERT_EQ(key.size(), 4u);
    EXPECT_EQ(key[0], "key \"rndc-key\" {");
    EXPECT_TRUE(key[1].starts_with("\talgorithm ")) << key[1];
    EXPECT_TRUE(key[2].starts_with("\tsecret \"")) << key[2];
    EXPECT_EQ(key[3], "};");

    WriteRndcConf(system, d, key);
    WriteNamedConf(system, d, key);
    WriteLocalhostZone(system, d);
    WriteNamedLocal(system, d);
    // The hint zone named.conf points at; the download provides it in a run.
    std::ofstream(etc + "named.root") << ".\t3600000\tNS\tA.ROOT-SERVERS.NET.\n"
                                         "A.ROOT-SERVERS.NET.\t3600000\tA\t198.41.0.4\n";

    EXPECT_EQ(Check("named-checkconf -z", etc + "named.conf"), 0);
    EXPECT_EQ(Check("named-checkzone localhost", etc + "localhost.zone"), 0);
    EXPECT_EQ(Check("named-checkzone 0.0.127.in-addr.arpa", etc + "named.local"), 0);
}

}  // namespace
}  // namespace zephrane
