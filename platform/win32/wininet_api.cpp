#include "platform/win32/wininet_api.h"

namespace zephrane {
namespace {

template <typename Function>
bool Load(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return function != nullptr;
}

}  // namespace

WinInetApi::WinInetApi() {
    // Its dependencies come from System32 too.
    const HMODULE library = LoadLibraryExA("wininet.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr) {
        return;
    }
    HMODULE pinned = nullptr;
    if (Load(library, "InternetCrackUrlA", crack_url) && Load(library, "InternetOpenA", open) &&
        Load(library, "InternetSetStatusCallbackA", set_status_callback) &&
        Load(library, "InternetConnectA", connect) && Load(library, "HttpOpenRequestA", open_request) &&
        Load(library, "InternetSetOptionA", set_option) &&
        Load(library, "InternetQueryOptionA", query_option) && Load(library, "HttpSendRequestA", send_request) &&
        Load(library, "HttpQueryInfoA", query_info) &&
        Load(library, "InternetQueryDataAvailable", query_data_available) &&
        Load(library, "InternetReadFile", read_file) && Load(library, "InternetCloseHandle", close_handle) &&
        // Pinned: WinInet's own threads may outlast a download, so its code
        // must stay mapped once this reference is released.
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(reinterpret_cast<void*>(open)), &pinned)) {
        library_ = library;
    } else {
        FreeLibrary(library);
    }
}

WinInetApi::~WinInetApi() {
    if (library_ != nullptr) {
        FreeLibrary(library_);
    }
}

}  // namespace zephrane
