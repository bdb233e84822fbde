#include "platform/win32/console_close.h"

#include "platform/system_platform.h"

namespace zephrane {

LocalTime SystemPlatform::Now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

// The pauses around service changes end when the console is closed.
void SystemPlatform::Sleep(unsigned milliseconds) { WaitUnlessClosed(nullptr, milliseconds); }

}  // namespace zephrane
