// Interruptions held: Ctrl+C, Ctrl+Break and closing the console are taken
// by a handler of ours, which the run asks between its steps.
#include "platform/win32/win32_api.h"

#include <atomic>

#include "platform/system_platform.h"

namespace zephrane {
namespace {

// The system calls the handler on a thread of its own with nothing but the
// event, so what it shares with the run lives here; one hold at a time.
std::atomic<bool> g_requested{false};
std::atomic<bool> g_released{false};

constexpr DWORD kPollMs = 50;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    g_requested = true;
    // The process ends as soon as the handler of a close, logoff or shutdown
    // returns: keep it until the run has undone what it changed, as long as
    // the system waits.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        while (!g_released) {
            Sleep(kPollMs);
        }
    }
    return TRUE;
}

class HandledConsoleEvents final : public HeldInterruptions {
public:
    HandledConsoleEvents() {
        g_requested = false;
        g_released = false;
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    }
    HandledConsoleEvents(const HandledConsoleEvents&) = delete;
    HandledConsoleEvents& operator=(const HandledConsoleEvents&) = delete;
    ~HandledConsoleEvents() override {
        SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
        g_released = true;
    }

    bool Requested() override { return g_requested; }
};

}  // namespace

std::unique_ptr<HeldInterruptions> SystemPlatform::HoldInterruptions() {
    return std::make_unique<HandledConsoleEvents>();
}

}  // namespace zephrane
