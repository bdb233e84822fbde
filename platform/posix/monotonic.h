#pragma once

#include <cstdint>

namespace zephrane {

// Milliseconds on a clock that wall-clock changes do not move.
std::uint64_t MonotonicMs();

}  // namespace zephrane
