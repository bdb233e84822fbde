// Run control: options, the DNS cache switch and the summary, against a fake platform.
#include <gtest/gtest.h>

#include "app/run.h"
#include "tests/fake_platform.h"

namespace zephrane {
namespace {

using testing::FakePlatform;
using testing::FakeService;
using testing::Lines;

const std::string kBanner = Lines({"", "Zephrane 0.3b1", "Copyright (C) 2026 The Zephrane developers", ""});
const std::string kUsage = Lines({
    "zephrane.exe [-cache|+cache] [-config|+config] [help] [start]",
    "",
    "-cache    deactivate Windows DNS cache",
    "+cache    activate Windows DNS cache",
    "-config   skip configuration",
    "+config   force configuration (on cache error)",
    "help      show this help",
    "start     start BIND service",
    "",
});
// The configuration on a machine without BIND.
const std::string kNoBind = Lines({"Searching folder ...", "Folder not found!", "", "CONFIGURATION FAILED", ""});

enum class Cache { Works, CannotStop, CannotChangeType };

struct Scenario {
    const char* name;
    std::vector<std::string> args;
    Cache cache;
    std::string transcript;  // after the banner
    std::vector<std::string> cacheCalls;
};

FakeService CacheService(Cache cache) {
    FakeService service;
    service.state = 4;
    service.startType = 2;
    service.canStop = cache != Cache::CannotStop;
    service.canChangeStartType = cache != Cache::CannotChangeType;
    return service;
}

const std::vector<std::string> kDeactivate = {"SetServiceStartType(Dnscache,3)", "StopServiceAndWait(Dnscache)"};
const std::vector<std::string> kActivate = {"SetServiceStartType(Dnscache,2)", "StartServiceAndWait(Dnscache)"};

class RunControl : public ::testing::TestWithParam<Scenario> {};

TEST_P(RunControl, PrintsTheTranscriptAndTouchesOnlyWhatItShould) {
    const Scenario& s = GetParam();
    FakePlatform platform;
    platform.services["Dnscache"] = CacheService(s.cache);
    Console out(platform);
    RunZephrane(platform, out, s.args);
    out.Flush();
    EXPECT_EQ(platform.out, kBanner + s.transcript);

    std::vector<std::string> cacheCalls;
    for (const std::string& call : platform.calls) {
        if (call.find("Dnscache") != std::string::npos) {
            cacheCalls.push_back(call);
        }
    }
    EXPECT_EQ(cacheCalls, s.cacheCalls);
    const bool configured = s.transcript.find("Searching folder ...") != std::string::npos;
    EXPECT_EQ(!platform.calls.empty() && platform.calls.size() > cacheCalls.size(), configured);
}

const std::string kDeactivating = Lines({"Deactivating DNS cache ..."});
const std::string kNotDeactivated = Lines({"Deactivating DNS cache ...", "DNS cache not deactivated!", ""});

INSTANTIATE_TEST_SUITE_P(
    Options, RunControl,
    ::testing::Values(
        Scenario{"NoArguments", {}, Cache::Works, kNoBind, {}},
        Scenario{"Help", {"help"}, Cache::Works, kUsage, {}},
        Scenario{"HelpUpperCaseWithOthers", {"-cache", "HELP", "start"}, Cache::Works, kUsage, {}},
        Scenario{"SkipConfig", {"-config"}, Cache::Works, Lines({"CONFIGURATION SKIPPED", ""}), {}},
        Scenario{"StartSkipConfig", {"start", "-config"}, Cache::Works, Lines({"CONFIGURATION SKIPPED", ""}), {}},
        Scenario{"BothCacheOptionsOnlyDeactivate", {"+cache", "-cache", "-config"}, Cache::Works,
                 kDeactivating + Lines({"", "CONFIGURATION SKIPPED", ""}), kDeactivate},
        Scenario{"DeactivateFails", {"-cache"}, Cache::CannotStop, kNotDeactivated + Lines({"EXECUTION FAILED", ""}),
                 kDeactivate},
        Scenario{"DeactivateFailsForced", {"-cache", "+config"}, Cache::CannotStop, kNotDeactivated + kNoBind,
                 kDeactivate},
        Scenario{"DeactivateFailsForcedAndSkipped", {"-cache", "+config", "-config"}, Cache::CannotStop,
                 kNotDeactivated + Lines({"CONFIGURATION SKIPPED", ""}), kDeactivate},
        Scenario{"DeactivateFailsSkippedNotForced", {"-cache", "-config"}, Cache::CannotStop,
                 kNotDeactivated + Lines({"EXECUTION FAILED", ""}), kDeactivate},
        Scenario{"ActivateStartTypeFailsNoStart", {"+cache"}, Cache::CannotChangeType,
                 Lines({"Activating DNS cache ...", "DNS cache not activated!", "", "EXECUTION FAILED", ""}),
                 {"SetServiceStartType(Dnscache,2)"}},
        Scenario{"ActivateWorks", {"+Cache"}, Cache::Works, Lines({"Activating DNS cache ...", ""}) + kNoBind,
                 kActivate},
        Scenario{"ForceWithoutCacheOption", {"+config"}, Cache::Works, kNoBind, {}},
        Scenario{"SlashAndDashFormsIgnored", {"/help", "--help", "/-config"}, Cache::Works, kNoBind, {}}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

}  // namespace
}  // namespace zephrane
