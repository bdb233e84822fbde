// The one error the tool does not handle itself: it unwinds to the entry
// point (closing files and registry keys on the way) and becomes the error
// report on standard error with exit status 1. It carries what happened and
// where; the report (app/error_report.h) gives it its words.
#pragma once

#include <cstdint>
#include <string>

namespace zephrane {

class RunError {
public:
    enum class Cause {
        Io,            // a file operation failed: SystemCode() says why
        RegistryType,  // a registry value of a type other than string: ValueName() names it
        EmptyPath,     // ForceDirectories was given an empty path
    };

    RunError(Cause cause, unsigned systemCode, std::string valueName, std::uint32_t address)
        : cause_(cause), systemCode_(systemCode), valueName_(std::move(valueName)), address_(address) {}

    Cause What() const { return cause_; }
    // The Windows system error code of an I/O error (POSIX backends translate errno).
    unsigned SystemCode() const { return systemCode_; }
    const std::string& ValueName() const { return valueName_; }
    // Stands in for a code address: it locates the place that raised the error.
    std::uint32_t Address() const { return address_; }

private:
    Cause cause_;
    unsigned systemCode_;
    std::string valueName_;
    std::uint32_t address_;
};

// A stable 32-bit value for a place in the source (file and line).
std::uint32_t LocationCode(const char* file, unsigned line);

[[noreturn]] void ThrowIoError(unsigned systemCode, const char* file = __builtin_FILE(),
                               unsigned line = __builtin_LINE());
[[noreturn]] void ThrowRegistryTypeError(const std::string& valueName, const char* file = __builtin_FILE(),
                                         unsigned line = __builtin_LINE());
[[noreturn]] void ThrowEmptyPath(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE());

// Windows system error codes the tool raises or the report knows by name.
inline constexpr unsigned kErrorFileNotFound = 2;
inline constexpr unsigned kErrorPathNotFound = 3;
inline constexpr unsigned kErrorTooManyOpenFiles = 4;
inline constexpr unsigned kErrorAccessDenied = 5;
inline constexpr unsigned kErrorDiskFull = 112;

}  // namespace zephrane
