#include "app/error_report.h"

#include <cstdio>

#include "platform/platform.h"

namespace zephrane {

std::string FormatErrorReport(const RunError& error, const std::string& moduleName) {
    char address[9];
    std::snprintf(address, sizeof address, "%08lX", static_cast<unsigned long>(error.Address()));

    std::string message = error.Message();
    if (message.empty() || message.back() != '.') {
        message.push_back('.');
    }
    const std::string lineEnd(kLineEnd);
    return "Exception " + error.ClassName() + " in Modul " + moduleName + " bei " + address + "." + lineEnd + message +
           lineEnd + lineEnd;
}

}  // namespace zephrane
