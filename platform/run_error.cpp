#include "platform/run_error.h"

#include <string_view>

namespace zephrane {

std::uint32_t LocationCode(const std::source_location& where) {
    // FNV-1a over "file:line": the same build always gives the same value.
    std::uint32_t hash = 2166136261u;
    auto mix = [&hash](std::string_view bytes) {
        for (unsigned char c : bytes) {
            hash ^= c;
            hash *= 16777619u;
        }
    };
    mix(where.file_name());
    mix(":");
    mix(std::to_string(where.line()));
    return hash;
}

void ThrowIoError(unsigned systemCode, const std::source_location& where) {
    std::string message;
    switch (systemCode) {
    case kErrorFileNotFound: message = "Datei nicht gefunden"; break;
    case kErrorPathNotFound: message = "Ung\xFCltiger Dateiname"; break;
    case kErrorTooManyOpenFiles: message = "Zu viele ge\xF6" "ffnete Dateien"; break;
    case kErrorAccessDenied: message = "Dateizugriff verweigert"; break;
    default: message = "E/A-Fehler " + std::to_string(systemCode); break;
    }
    throw RunError("EInOutError", message, LocationCode(where));
}

void ThrowRegistryTypeError(const std::string& valueName, const std::source_location& where) {
    throw RunError("ERegistryException", "Ung\xFCltiger Datentyp f\xFCr '" + valueName + "'", LocationCode(where));
}

void ThrowCannotCreateDirectory(const std::source_location& where) {
    throw RunError("EInOutError", "Verzeichnis kann nicht erstellt werden", LocationCode(where));
}

}  // namespace zephrane
