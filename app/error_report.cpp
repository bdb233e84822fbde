#include "app/error_report.h"

#include <cstdio>

#include "platform/platform.h"

namespace zephrane {
namespace {

std::string IoMessage(unsigned systemCode) {
    switch (systemCode) {
    case kErrorFileNotFound: return "Datei nicht gefunden";
    case kErrorPathNotFound: return "Ung\xFCltiger Dateiname";
    case kErrorTooManyOpenFiles: return "Zu viele ge\xF6" "ffnete Dateien";
    case kErrorAccessDenied: return "Dateizugriff verweigert";
    default: return "E/A-Fehler " + std::to_string(systemCode);
    }
}

std::string Format(const std::string& className, std::string message, std::uint32_t address,
                   const std::string& moduleName) {
    char location[9];
    std::snprintf(location, sizeof location, "%08lX", static_cast<unsigned long>(address));
    if (message.empty() || message.back() != '.') {
        message.push_back('.');
    }
    const std::string lineEnd(kLineEnd);
    return "Exception " + className + " in Modul " + moduleName + " bei " + location + "." + lineEnd + message +
           lineEnd + lineEnd;
}

}  // namespace

std::string FormatErrorReport(const RunError& error, const std::string& moduleName) {
    switch (error.What()) {
    case RunError::Cause::Io:
        return Format("EInOutError", IoMessage(error.SystemCode()), error.Address(), moduleName);
    case RunError::Cause::RegistryType:
        return Format("ERegistryException", "Ung\xFCltiger Datentyp f\xFCr '" + error.ValueName() + "'",
                      error.Address(), moduleName);
    case RunError::Cause::EmptyPath:
        break;
    }
    return Format("EInOutError", "Verzeichnis kann nicht erstellt werden", error.Address(), moduleName);
}

std::string FormatOutOfMemoryReport(const std::string& moduleName) {
    return Format("EOutOfMemory", "Zu wenig Arbeitsspeicher", 0, moduleName);
}

}  // namespace zephrane
