// Standard output as the tool writes it: whole lines with the build's line
// end; line by line on a console, in 128-byte blocks when redirected.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace zephrane {

class Console {
public:
    explicit Console(Platform& platform) : platform_(platform) {}
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    void WriteLine(std::string_view text = {});
    // Writes out whatever is buffered.
    void Flush();

private:
    // Redirected output leaves in writes of this size, as it always has, so
    // that whatever reads it sees the same pieces.
    static constexpr std::size_t kBlockSize = 128;

    Platform& platform_;
    int isConsole_ = -1;  // asked on first use
    std::string buffer_;
};

}  // namespace zephrane
