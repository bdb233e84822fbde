#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zephrane {

// True when one of `args` equals `name`, both lower-cased by the ANSI code
// page's rules. Whole words only: no prefixes, no "/" or "--" forms.
bool HasParam(const std::vector<std::string>& args, std::string_view name);

}  // namespace zephrane
