#include "io/console.h"

namespace zephrane {

void Console::WriteLine(std::string_view text) {
    if (isConsole_ < 0) {
        isConsole_ = platform_.StdoutIsConsole() ? 1 : 0;
    }
    buffer_.append(text);
    buffer_.append(kLineEnd);
    if (isConsole_ == 1) {
        Flush();
        return;
    }
    std::string_view pending = buffer_;
    std::size_t written = 0;
    while (pending.size() - written >= kBlockSize) {
        platform_.WriteStdout(pending.substr(written, kBlockSize));
        written += kBlockSize;
    }
    buffer_.erase(0, written);
}

void Console::Flush() {
    if (!buffer_.empty()) {
        platform_.WriteStdout(buffer_);
        buffer_.clear();
    }
}

}  // namespace zephrane
