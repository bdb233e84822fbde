// The real download backend against the root hints server of
// tests/support/sandbox.py, which download_test.py starts and names as the
// proxy; each test picks the server's answer by writing its scenario name.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "config/constants.h"
#include "platform/download.h"

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
    std::optional<std::string> Fetch(const std::string& scenario, const DownloadLimits& limits = kDownloadLimits) {
        Overwrite(Env("ZEPHRANE_TEST_SCENARIO"), scenario);
        return DownloadWithin(std::string(kRootHintsUrl), limits);
    }
};

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

// A server that accepts and then says nothing, or trickles its body or even
// its headers, ends the download within its bounds (shortened here).
TEST_F(Download, EndsWithinItsBounds) {
    using namespace std::chrono_literals;
    const DownloadLimits limits{2s, 2s, 4s};
    const DownloadLimits patient{2s, 10s, 4s};  // libcurl counts no header byte as progress
    for (const auto& [scenario, bounds, atMost] :
         {std::tuple{"silent", limits, 2s}, {"trickle", limits, 4s}, {"trickle-headers", patient, 4s}}) {
        if (std::string(scenario) == "trickle-headers" && !Env("ZEPHRANE_TEST_WINE").empty()) {
            GTEST_SKIP() << "the rows above ran; Wine's WinInet reads headers on once their request is closed";
        }
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(Fetch(scenario, bounds), std::nullopt) << scenario;
        const auto took = std::chrono::steady_clock::now() - begin;
        EXPECT_GE(took, atMost - 500ms) << scenario;
        EXPECT_LT(took, atMost + 2s) << scenario;
    }
}

TEST_F(Download, FollowsARedirect) { EXPECT_EQ(Fetch("redirect"), ReadAll(Env("ZEPHRANE_TEST_ROOT_HINTS"))); }

// From http to https (whose certificate the suite's namespace trusts), never
// back; a cookie the answer sets and a server's challenge get nothing of the
// administrator's.
TEST_F(Download, ToHttpsNotBackAndNothingOfTheAdministrators) {
    if (Env("ZEPHRANE_TEST_TLS").empty()) {
        GTEST_SKIP() << "a CA of the suite's own is trusted only in a mount namespace of its own, as root";
    }
    const std::string log = Env("ZEPHRANE_TEST_REQUESTS");
    Overwrite(log, "");
    EXPECT_EQ(Fetch("to-https root-hints"), ReadAll(Env("ZEPHRANE_TEST_ROOT_HINTS")));
    EXPECT_EQ(Fetch("to-https redirect"), std::nullopt);
    EXPECT_EQ(Fetch("challenge"), std::nullopt);
    EXPECT_EQ(Fetch("proxy-challenge"), std::nullopt);
    const std::string requests = ReadAll(log);
    for (const char* header : {"\nCookie:", "\nAuthorization:", "\nProxy-Authorization:"}) {
        EXPECT_EQ(requests.find(header), std::string::npos) << header << requests;
    }
}

}  // namespace
}  // namespace zephrane
