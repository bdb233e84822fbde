#include "app/error_report.h"

#include "platform/platform.h"

namespace zephrane {

std::string FormatErrorReport(const RunError& error, const std::string& moduleName) {
    char address[9];
    constexpr char kHex[] = "0123456789ABCDEF";
    for (int i = 0; i < 8; ++i) {
        address[i] = kHex[(error.Address() >> (28 - 4 * i)) & 0xF];
    }
    address[8] = '\0';

    std::string message = error.Message();
    if (message.empty() || message.back() != '.') {
        message.push_back('.');
    }
    const std::string lineEnd(kLineEnd);
    return "Exception " + error.ClassName() + " in Modul " + moduleName + " bei " + address + "." + lineEnd + message +
           lineEnd + lineEnd;
}

}  // namespace zephrane
