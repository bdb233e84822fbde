// Windows-1252, the ANSI code page the POSIX build stands in for.
#pragma once

#include <string>

namespace zephrane {

// Lower-cases ASCII and the accented capitals of Windows-1252.
std::string Windows1252LowerCase(std::string text);

// Re-encodes Windows-1252 bytes as UTF-8.
std::string Windows1252ToUtf8(const std::string& text);

}  // namespace zephrane
