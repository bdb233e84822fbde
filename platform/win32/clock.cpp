#include "platform/win32/win32_api.h"

#include "platform/system_platform.h"

namespace zephrane {

LocalTime SystemPlatform::Now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void SystemPlatform::Sleep(unsigned milliseconds) { ::Sleep(milliseconds); }

}  // namespace zephrane
