#include <cerrno>
#include <ctime>

#include "platform/system_platform.h"

namespace zephrane {

LocalTime SystemPlatform::Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return LocalTime{static_cast<unsigned>(local.tm_year + 1900), static_cast<unsigned>(local.tm_mon + 1),
                     static_cast<unsigned>(local.tm_mday),        static_cast<unsigned>(local.tm_hour),
                     static_cast<unsigned>(local.tm_min),         static_cast<unsigned>(local.tm_sec)};
}

void SystemPlatform::Sleep(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace zephrane
