#include "app/run.h"

#include "app/options.h"
#include "config/configure.h"
#include "platform/paths.h"
#include "zephrane_version.h"

namespace zephrane {
namespace {

constexpr const char* kCacheService = "Dnscache";
constexpr int kStartAutomatic = 2;
constexpr int kStartOnDemand = 3;

void PrintBanner(Console& out) {
    out.WriteLine();
    out.WriteLine(std::string("Zephrane ") + kVersionText);
    out.WriteLine(kCopyright);
    out.WriteLine();
}

void PrintUsage(Platform& platform, Console& out) {
    out.WriteLine(ExtractFileName(platform.ExecutablePath()) + " [-cache|+cache] [-config|+config] [help] [start]");
    out.WriteLine();
    out.WriteLine("-cache    deactivate Windows DNS cache");
    out.WriteLine("+cache    activate Windows DNS cache");
    out.WriteLine("-config   skip configuration");
    out.WriteLine("+config   force configuration (on cache error)");
    out.WriteLine("help      show this help");
    out.WriteLine("start     start BIND service");
}

// Switches the DNS Client service off or on; false when that failed.
bool SwitchCache(Platform& platform, Console& out, bool activate) {
    out.WriteLine(activate ? "Activating DNS cache ..." : "Deactivating DNS cache ...");
    bool done = platform.SetServiceStartType(kCacheService, activate ? kStartAutomatic : kStartOnDemand);
    if (done) {
        done = activate ? platform.StartServiceAndWait(kCacheService) : platform.StopServiceAndWait(kCacheService);
    }
    if (!done) {
        out.WriteLine(activate ? "DNS cache not activated!" : "DNS cache not deactivated!");
    }
    out.WriteLine();
    return done;
}

}  // namespace

void RunZephrane(Platform& platform, Console& out, const std::vector<std::string>& args) {
    PrintBanner(out);
    if (HasParam(args, "help")) {
        PrintUsage(platform, out);
        out.WriteLine();
        return;
    }

    bool proceed = true;
    bool skipped = false;
    if (HasParam(args, "-cache")) {
        proceed = SwitchCache(platform, out, false);
    } else if (HasParam(args, "+cache")) {
        proceed = SwitchCache(platform, out, true);
    }
    if (!proceed) {
        proceed = HasParam(args, "+config");
    }
    if (proceed) {
        proceed = !HasParam(args, "-config");
        skipped = !proceed;
    }

    if (proceed) {
        const bool configured = ConfigureServer(platform, out, HasParam(args, "start"));
        out.WriteLine();
        out.WriteLine(configured ? "CONFIGURATION SUCCEEDED" : "CONFIGURATION FAILED");
    } else if (skipped) {
        out.WriteLine("CONFIGURATION SKIPPED");
    } else {
        out.WriteLine("EXECUTION FAILED");
    }
    out.WriteLine();
}

}  // namespace zephrane
