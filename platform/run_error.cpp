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
    std::string message;
    switch (systemCode) {
    case kErrorFileNotFound: message = "Datei nicht gefunden"; break;
    case kErrorPathNotFound: message = "Ung\xFCltiger Dateiname"; break;
    case kErrorTooManyOpenFiles: message = "Zu viele ge\xF6" "ffnete Dateien"; break;
    case kErrorAccessDenied: message = "Dateizugriff verweigert"; break;
    default: message = "E/A-Fehler " + std::to_string(systemCode); break;
    }
    throw RunError("EInOutError", message, LocationCode(file, line));
}

void ThrowRegistryTypeError(const std::string& valueName, const char* file, unsigned line) {
    throw RunError("ERegistryException", "Ung\xFCltiger Datentyp f\xFCr '" + valueName + "'", LocationCode(file, line));
}

void ThrowCannotCreateDirectory(const char* file, unsigned line) {
    throw RunError("EInOutError", "Verzeichnis kann nicht erstellt werden", LocationCode(file, line));
}

}  // namespace zephrane
