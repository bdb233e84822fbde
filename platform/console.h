// Standard output and error, written the same way by both backends: the
// backend makes one system write at a time, platform/console.cpp repeats
// it until all is written or nobody takes more.
#pragma once

#include <cstddef>
#include <string_view>

namespace zephrane {

enum class StandardStream { Output, Error };

// One system write of `bytes` to `stream`: how many bytes it took; 0 when
// it took none (no such stream, nobody reading it any more, an error).
std::size_t WriteOnce(StandardStream stream, std::string_view bytes);

}  // namespace zephrane
