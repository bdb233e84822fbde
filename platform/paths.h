// Path strings. Paths are built by plain concatenation and never normalised;
// these helpers only cut at the build's separator (and ':' on Windows).
#pragma once

#include <string>

namespace zephrane {

// Everything up to and including the last separator; empty when there is none.
std::string ExtractFilePath(const std::string& path);
// Everything after the last separator; the whole string when there is none.
std::string ExtractFileName(const std::string& path);
// `text` without one trailing separator, if it has one.
std::string StripTrailingSeparator(const std::string& text);

}  // namespace zephrane
