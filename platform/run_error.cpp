#include "platform/run_error.h"

#include <string_view>

namespace zephrane {

std::uint32_t LocationCode(const char* file, unsigned line) {
    // FNV-1a over "file:line": the same build always gives the same value.
    std::uint32_t hash = 2166136261u;
    auto mix = [&hash](std::string_view bytes) {
        for (unsigned char c : bytes) {
            hash ^= c;
            hash *= 16777619u;
        }
    };
    mix(file);
    mix(":");
    mix(std::to_string(line));
    return hash;
}

void ThrowIoError(unsigned systemCode, const char* file, unsigned line) {
    throw RunError(RunError::Cause::Io, systemCode, {}, LocationCode(file, line));
}

void ThrowRegistryTypeError(const std::string& valueName, const char* file, unsigned line) {
    throw RunError(RunError::Cause::RegistryType, 0, valueName, LocationCode(file, line));
}

void ThrowEmptyPath(const char* file, unsigned line) {
    throw RunError(RunError::Cause::EmptyPath, 0, {}, LocationCode(file, line));
}

}  // namespace zephrane
