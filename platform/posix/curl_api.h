// libcurl, loaded when a download starts rather than when the tool starts:
// with its libraries (TLS, compression, name lookup) it costs tens of
// milliseconds and megabytes that runs without a download (help, -config)
// should not pay.
#pragma once

#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

namespace zephrane {

class CurlApi {
public:
    CurlApi();
    CurlApi(const CurlApi&) = delete;
    CurlApi& operator=(const CurlApi&) = delete;
    ~CurlApi();
    // False when the library or one of its functions could not be loaded.
    explicit operator bool() const { return library_ != nullptr; }

    decltype(&::curl_global_init) global_init = nullptr;
    decltype(&::curl_global_cleanup) global_cleanup = nullptr;
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_setopt) easy_setopt = nullptr;
    decltype(&::curl_easy_perform) easy_perform = nullptr;
    decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&::curl_slist_append) slist_append = nullptr;
    decltype(&::curl_slist_free_all) slist_free_all = nullptr;

private:
    void* library_ = nullptr;
};

}  // namespace zephrane
