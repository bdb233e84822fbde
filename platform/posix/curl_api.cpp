#include "platform/posix/curl_api.h"

#include <dlfcn.h>

namespace zephrane {
namespace {

constexpr unsigned kProtocolsByName = 0x075500;  // 7.85.0

template <typename Function>
bool Load(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

}  // namespace

CurlApi::CurlApi() {
    // RTLD_NODELETE: the TLS library below registers exit handlers, so the
    // code must stay mapped after the handle is closed.
    void* library = ::dlopen("libcurl.so.4", RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
    if (library == nullptr) {
        return;
    }
    if (Load(library, "curl_global_init", global_init) && Load(library, "curl_global_cleanup", global_cleanup) &&
        Load(library, "curl_easy_init", easy_init) && Load(library, "curl_easy_setopt", easy_setopt) &&
        Load(library, "curl_easy_perform", easy_perform) && Load(library, "curl_easy_getinfo", easy_getinfo) &&
        Load(library, "curl_easy_cleanup", easy_cleanup) && Load(library, "curl_slist_append", slist_append) &&
        Load(library, "curl_slist_free_all", slist_free_all) && Load(library, "curl_version_info", version_info)) {
        library_ = library;
        const curl_version_info_data* version = version_info(CURLVERSION_NOW);
        protocols_by_name = version != nullptr && version->version_num >= kProtocolsByName;
    } else {
        ::dlclose(library);
    }
}

CurlApi::~CurlApi() {
    if (library_ != nullptr) {
        ::dlclose(library_);
    }
}

}  // namespace zephrane
