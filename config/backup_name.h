// The formatters behind the backup folder's name.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace zephrane {

// Decimal digits of `value`, zero-filled in front to at least `width`; never cut.
std::string ZeroPad(std::uint16_t value, unsigned width);

// 14 digits: year, month, day, hour, minute, second.
std::string TimeStamp(const LocalTime& time);

}  // namespace zephrane
