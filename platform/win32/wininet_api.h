// WinInet, loaded from System32 when a download starts. It is no KnownDLL:
// imported, it would be looked for in the program's own folder first (a
// Downloads folder, say), and run there inside the administrator's tool.
#pragma once

#include "platform/win32/win32_api.h"

#include <wininet.h>

namespace zephrane {

class WinInetApi {
public:
    WinInetApi();
    WinInetApi(const WinInetApi&) = delete;
    WinInetApi& operator=(const WinInetApi&) = delete;
    ~WinInetApi();
    // False when the library or one of its functions could not be loaded.
    explicit operator bool() const { return library_ != nullptr; }

    decltype(&::InternetCrackUrlA) crack_url = nullptr;
    decltype(&::InternetOpenA) open = nullptr;
    decltype(&::InternetSetStatusCallbackA) set_status_callback = nullptr;
    decltype(&::InternetConnectA) connect = nullptr;
    decltype(&::HttpOpenRequestA) open_request = nullptr;
    decltype(&::InternetSetOptionA) set_option = nullptr;
    decltype(&::InternetQueryOptionA) query_option = nullptr;
    decltype(&::HttpSendRequestA) send_request = nullptr;
    decltype(&::HttpQueryInfoA) query_info = nullptr;
    decltype(&::InternetQueryDataAvailable) query_data_available = nullptr;
    decltype(&::InternetReadFile) read_file = nullptr;
    decltype(&::InternetCloseHandle) close_handle = nullptr;

private:
    HMODULE library_ = nullptr;
};

}  // namespace zephrane
