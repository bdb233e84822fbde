#include <new>

#include "app/error_report.h"
#include "app/run.h"
#include "platform/paths.h"

int main(int argc, char** argv) {
    using namespace zephrane;
    const std::unique_ptr<Platform> platform = CreateSystemPlatform();
    Console out(*platform);
    // Files and the registry key are closed while unwinding; what was printed
    // so far goes out before the report.
    auto report = [&](const RunError& error) {
        out.Flush();
        const std::string module = ExtractFileName(platform->ExecutablePath());
        platform->WriteStderr(AnsiToErrorConsole(FormatErrorReport(error, module)));
        return 1;
    };
    try {
        RunZephrane(*platform, out, CommandLineArguments(argc, argv));
        out.Flush();
        return 0;
    } catch (const RunError& error) {
        return report(error);
    } catch (const std::bad_alloc&) {
        return report(RunError("EOutOfMemory", "Zu wenig Arbeitsspeicher", 0));
    }
}
