#include "platform/win32/win32_api.h"

#include "platform/platform.h"

namespace zephrane {

std::string AnsiLowerCase(std::string text) {
    if (!text.empty()) {
        CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    }
    return text;
}

std::string AnsiToErrorConsole(const std::string& text) {
    std::string oem = text;
    if (!oem.empty()) {
        CharToOemBuffA(text.c_str(), oem.data(), static_cast<DWORD>(oem.size()));
    }
    return oem;
}

}  // namespace zephrane
