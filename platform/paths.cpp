#include "platform/paths.h"

#include "platform/platform.h"

namespace zephrane {
namespace {

std::string::size_type LastDelimiter(const std::string& path) {
    if constexpr (kHasDriveMark) {
        const char delimiters[] = {kPathSeparator, ':', '\0'};
        return path.find_last_of(delimiters);
    } else {
        return path.find_last_of(kPathSeparator);
    }
}

}  // namespace

std::string ExtractFilePath(const std::string& path) {
    const auto at = LastDelimiter(path);
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string ExtractFileName(const std::string& path) {
    const auto at = LastDelimiter(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string StripTrailingSeparator(const std::string& text) {
    if (!text.empty() && text.back() == kPathSeparator) {
        return text.substr(0, text.size() - 1);
    }
    return text;
}

}  // namespace zephrane
