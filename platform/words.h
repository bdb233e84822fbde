// Splitting a command line into words, as the tool reads its own command
// line and as the POSIX launcher passes arguments on.
#pragma once

#include <string_view>
#include <vector>
#include <string>

namespace zephrane {

// Bytes 0x01 to 0x20 separate words; a double quote opens or closes a quoted
// stretch in which they are ordinary and is itself removed; there is no
// escape character; words that come out empty are dropped.
std::vector<std::string> SplitWords(std::string_view commandLine);

}  // namespace zephrane
