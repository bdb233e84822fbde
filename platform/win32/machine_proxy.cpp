#include "platform/win32/machine_proxy.h"

#include "platform/win32/win32_api.h"

#include <winhttp.h>

namespace zephrane {
namespace {

// A proxy or host name in the ANSI code page, for WinInet's ...A calls.
std::string Narrow(const wchar_t* text) {
    const int size = text != nullptr ? WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr) : 0;
    std::string narrow(size > 1 ? static_cast<std::size_t>(size) : 1, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), size, nullptr, nullptr);
    }
    narrow.pop_back();  // the NUL
    return narrow;
}

}  // namespace

std::optional<MachineProxy> MachineWinHttpProxy() {
    // Not imported, as WinInet is not: looked for in System32 alone.
    const HMODULE library = LoadLibraryExA("winhttp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr) {
        return std::nullopt;
    }
    const auto get = reinterpret_cast<decltype(&::WinHttpGetDefaultProxyConfiguration)>(
        reinterpret_cast<void*>(GetProcAddress(library, "WinHttpGetDefaultProxyConfiguration")));
    WINHTTP_PROXY_INFO info{};
    std::optional<MachineProxy> found;
    if (get != nullptr && get(&info)) {
        if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy != nullptr && *info.lpszProxy != 0) {
            found = MachineProxy{Narrow(info.lpszProxy), Narrow(info.lpszProxyBypass)};
        }
        GlobalFree(info.lpszProxy);
        GlobalFree(info.lpszProxyBypass);
    }
    FreeLibrary(library);
    return found;
}

}  // namespace zephrane
