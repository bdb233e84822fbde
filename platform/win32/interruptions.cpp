// Interruptions held: Ctrl+C, Ctrl+Break and closing the console are taken
// by a handler of ours, which the run asks between its steps. A close also
// cuts the run's waits short (console_close.h).
#include "platform/win32/console_close.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "platform/system_platform.h"

namespace zephrane {
namespace {

// The system calls the handler on a thread of its own with nothing but the
// event, so what it shares with the run lives here; one hold at a time.
std::atomic<bool> g_requested{false};
std::atomic<bool> g_released{false};
std::atomic<ULONGLONG> g_closedAt{0};  // tick count of a close; 0: none came
std::atomic<bool> g_answering{false};

constexpr DWORD kPollMs = 50;
// Of the 5 s Windows gives after a close: what the undo may take.
constexpr ULONGLONG kCloseBudgetMs = 4000;

// The tick count at which waits end.
ULONGLONG WaitsEnd() {
    const ULONGLONG closedAt = g_closedAt;
    if (closedAt == 0) {
        return std::numeric_limits<ULONGLONG>::max();
    }
    return g_answering ? closedAt + kCloseBudgetMs : 0;
}

class HandledConsoleEvents final : public HeldInterruptions {
public:
    HandledConsoleEvents() {
        g_requested = false;
        g_released = false;
        g_closedAt = 0;
        g_answering = false;
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    }
    HandledConsoleEvents(const HandledConsoleEvents&) = delete;
    HandledConsoleEvents& operator=(const HandledConsoleEvents&) = delete;
    ~HandledConsoleEvents() override {
        SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
        g_released = true;
    }

    bool Requested() override { return g_requested; }
    void Answer() override { g_answering = true; }
};

}  // namespace

bool WaitUnlessClosed(HANDLE object, DWORD milliseconds) {
    const ULONGLONG until = GetTickCount64() + milliseconds;
    // In slices, so that a close that comes meanwhile is seen.
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const ULONGLONG end = std::min(until, WaitsEnd());
        const auto slice = static_cast<DWORD>(now < end ? std::min<ULONGLONG>(end - now, kPollMs) : 0);
        if (object == nullptr) {
            Sleep(slice);
        } else if (const DWORD result = WaitForSingleObject(object, slice); result != WAIT_TIMEOUT) {
            return result == WAIT_OBJECT_0;
        }
        if (slice == 0) {
            return false;
        }
    }
}

bool MayWait() { return GetTickCount64() < WaitsEnd(); }

BOOL WINAPI OnConsoleEvent(DWORD event) {
    // The process ends as soon as the handler of a close, logoff or shutdown
    // returns: keep it until the run has undone what it changed, as long as
    // the system waits.
    const bool closing = event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    if (closing && g_closedAt == 0) {
        g_closedAt = GetTickCount64();
    }
    g_requested = true;
    while (closing && !g_released) {
        Sleep(kPollMs);
    }
    return TRUE;
}

std::unique_ptr<HeldInterruptions> SystemPlatform::HoldInterruptions() {
    return std::make_unique<HandledConsoleEvents>();
}

}  // namespace zephrane
