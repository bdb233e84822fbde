#include "platform/platform.h"
#include "platform/posix/windows1252.h"

namespace zephrane {

std::string AnsiLowerCase(std::string text) { return Windows1252LowerCase(std::move(text)); }

std::string AnsiToErrorConsole(const std::string& text) { return Windows1252ToUtf8(text); }

}  // namespace zephrane
