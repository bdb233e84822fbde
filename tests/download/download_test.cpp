// The real download backend against the root hints server of
// tests/support/sandbox.py, which download_test.py starts and names as the
// proxy; each test picks the server's answer by writing its scenario name.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "config/constants.h"
#include "platform/run_error.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Overwrite(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

class Download : public ::testing::Test {
protected:
    void SetUp() override { std::remove(dest_.c_str()); }
    void TearDown() override { std::remove(dest_.c_str()); }

    bool Fetch(const std::string& scenario) {
        Overwrite(Env("ZEPHRANE_TEST_SCENARIO"), scenario);
        return platform_.DownloadFile(std::string(kRootHintsUrl), dest_);
    }

    SystemPlatform platform_;
    const std::string dest_ = Env("ZEPHRANE_TEST_WORK") + kPathSeparator + "named.root";
};

TEST_F(Download, StoresTheRootHintsByteForByte) {
    const std::string expected = ReadAll(Env("ZEPHRANE_TEST_ROOT_HINTS"));
    ASSERT_GT(expected.size(), 1024u);  // more than one transfer buffer
    ASSERT_TRUE(Fetch("root-hints"));
    EXPECT_EQ(ReadAll(dest_), expected);
}

TEST_F(Download, AsksOnceForTheToolsUrlAsZephraneWithoutCaches) {
    const std::string log = Env("ZEPHRANE_TEST_REQUESTS");
    Overwrite(log, "");
    ASSERT_TRUE(Fetch("root-hints"));
    const std::string requests = ReadAll(log);
    // Through a proxy the request line carries the absolute URL (WinInet
    // names the default port).
    const std::string line = requests.substr(0, requests.find('\n'));
    EXPECT_TRUE(line == "GET http://www.internic.net/zones/named.root HTTP/1.1" ||
                line == "GET http://www.internic.net:80/zones/named.root HTTP/1.1")
        << requests;
    EXPECT_EQ(requests.find("GET ", 1), std::string::npos) << requests;
    for (const char* header : {"\nUser-Agent: Zephrane\n", "\nCache-Control: no-cache\n", "\nPragma: no-cache\n"}) {
        EXPECT_NE(requests.find(header), std::string::npos) << header << requests;
    }
}

TEST_F(Download, FailsWithoutLeavingAFile) {
    for (const char* scenario : {"not-found", "server-error", "html", "empty", "truncated"}) {
        EXPECT_FALSE(Fetch(scenario)) << scenario;
        EXPECT_FALSE(platform_.FileExists(dest_)) << scenario;
    }
}

TEST_F(Download, FollowsARedirect) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine's WinInet repeats the redirected request through a proxy without end";
#endif
    ASSERT_TRUE(Fetch("redirect"));
    EXPECT_EQ(ReadAll(dest_), ReadAll(Env("ZEPHRANE_TEST_ROOT_HINTS")));
}

TEST_F(Download, UncreatableDestinationIsAnIoError) {
    const std::string dest = Env("ZEPHRANE_TEST_WORK") + kPathSeparator + "missing" + kPathSeparator + "named.root";
    Overwrite(Env("ZEPHRANE_TEST_SCENARIO"), "root-hints");
    EXPECT_THROW(platform_.DownloadFile(std::string(kRootHintsUrl), dest), RunError);
}

TEST(Refused, FailsWithoutLeavingAFile) {
    SystemPlatform platform;
    const std::string dest = Env("ZEPHRANE_TEST_WORK") + kPathSeparator + "named.root";
    EXPECT_FALSE(platform.DownloadFile(std::string(kRootHintsUrl), dest));
    EXPECT_FALSE(platform.FileExists(dest));
}

}  // namespace
}  // namespace zephrane
