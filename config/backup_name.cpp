#include "config/backup_name.h"

namespace zephrane {

std::string ZeroPad(std::uint16_t value, unsigned width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return digits;
}

std::string TimeStamp(const LocalTime& time) {
    auto pad = [](unsigned value, unsigned width) { return ZeroPad(static_cast<std::uint16_t>(value), width); };
    return pad(time.year, 4) + pad(time.month, 2) + pad(time.day, 2) + pad(time.hour, 2) + pad(time.minute, 2) +
           pad(time.second, 2);
}

}  // namespace zephrane
