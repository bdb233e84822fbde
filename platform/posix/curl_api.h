// libcurl, loaded when a download starts rather than when the tool starts:
// with its libraries (TLS, compression, name lookup) it costs tens of
// milliseconds and megabytes that runs without a download (help, -config)
// should not pay.
#pragma once

#define CURL_DISABLE_TYPECHECK
// The bit mask options that libraries before 7.85 need are deprecated since.
#define CURL_DISABLE_DEPRECATION
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
    decltype(&::curl_version_info) version_info = nullptr;
    // Whether the library takes the protocols as text (CURLOPT_PROTOCOLS_STR,
    // 7.85 on); an older one refuses those options and takes a bit mask.
    bool protocols_by_name = false;

private:
    void* library_ = nullptr;
};

}  // namespace zephrane
