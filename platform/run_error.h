// The one error the tool does not handle itself: it unwinds to the entry
// point (closing files and registry keys on the way) and becomes the error
// report on standard error with exit status 1.
#pragma once

#include <cstdint>
#include <string>

namespace zephrane {

class RunError {
public:
    RunError(std::string className, std::string message, std::uint32_t address)
        : className_(std::move(className)), message_(std::move(message)), address_(address) {}

    const std::string& ClassName() const { return className_; }
    const std::string& Message() const { return message_; }
    // Stands in for a code address: it locates the place that raised the error.
    std::uint32_t Address() const { return address_; }

private:
    std::string className_;
    std::string message_;
    std::uint32_t address_;
};

// A stable 32-bit value for a place in the source (file and line).
std::uint32_t LocationCode(const char* file, unsigned line);

// File operation failed with the given Windows system error code (POSIX
// backends translate errno first).
[[noreturn]] void ThrowIoError(unsigned systemCode, const char* file = __builtin_FILE(),
                               unsigned line = __builtin_LINE());

// A registry value of a type other than string.
[[noreturn]] void ThrowRegistryTypeError(const std::string& valueName, const char* file = __builtin_FILE(),
                                         unsigned line = __builtin_LINE());

// ForceDirectories was given an empty path.
[[noreturn]] void ThrowCannotCreateDirectory(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE());

// Windows system error codes the I/O messages know by name.
inline constexpr unsigned kErrorFileNotFound = 2;
inline constexpr unsigned kErrorPathNotFound = 3;
inline constexpr unsigned kErrorTooManyOpenFiles = 4;
inline constexpr unsigned kErrorAccessDenied = 5;
inline constexpr unsigned kErrorDiskFull = 112;

}  // namespace zephrane
