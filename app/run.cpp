#include "app/run.h"

#include <new>

#include "app/error_report.h"
#include "app/options.h"
#include "config/configure.h"
#include "config/service_switch.h"
#include "platform/paths.h"
#include "zephrane_version.h"

namespace zephrane {
namespace {

constexpr const char* kCacheService = "Dnscache";

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
    const bool done = SwitchService(platform, kCacheService, activate);
    if (!done) {
        out.WriteLine(activate ? "DNS cache not activated!" : "DNS cache not deactivated!");
    }
    out.WriteLine();
    return done;
}

}  // namespace

int RunZephrane(Platform& platform, Console& out, const std::vector<std::string>& args) {
    PrintBanner(out);
    if (HasParam(args, "help")) {
        PrintUsage(platform, out);
        out.WriteLine();
        return kExitSucceeded;
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

    int status = skipped ? kExitSucceeded : kExitFailed;
    if (proceed) {
        const ConfigureResult result = ConfigureServer(platform, out, HasParam(args, "start"));
        out.WriteLine();
        out.WriteLine(result == ConfigureResult::Succeeded ? "CONFIGURATION SUCCEEDED" : "CONFIGURATION FAILED");
        status = result == ConfigureResult::Succeeded ? kExitSucceeded
                 : result == ConfigureResult::Failed  ? kExitFailed
                                                      : kExitNotRestored;
    } else if (skipped) {
        out.WriteLine("CONFIGURATION SKIPPED");
    } else {
        out.WriteLine("EXECUTION FAILED");
    }
    out.WriteLine();
    return status;
}

int RunAndReport(Platform& platform, const std::vector<std::string>& args) {
    Console out(platform);
    // Files and the registry key are closed while unwinding; what was printed
    // so far goes out before the report.
    auto report = [&](const std::exception_ptr& error, int status) {
        out.Flush();
        const std::string module = ExtractFileName(platform.ExecutablePath());
        try {
            std::rethrow_exception(error);
        } catch (const RunError& runError) {
            platform.WriteStderr(AnsiToErrorConsole(FormatErrorReport(runError, module)));
        } catch (const std::bad_alloc&) {
            platform.WriteStderr(AnsiToErrorConsole(FormatOutOfMemoryReport(module)));
        }
        return status;
    };
    try {
        const int status = RunZephrane(platform, out, args);
        out.Flush();
        return status;
    } catch (const UndoneError& undone) {
        return report(undone.error, undone.restored ? kExitReported : kExitNotRestored);
    } catch (...) {
        return report(std::current_exception(), kExitReported);  // what the report does not know goes on
    }
}

}  // namespace zephrane
