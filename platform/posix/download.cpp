#include <exception>
#include <initializer_list>
#include <memory>

#include "platform/download_target.h"
#include "platform/posix/curl_api.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

// A dead server or a stalled transfer must not hang the configuration run.
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedBytesPerSecond = 1;
constexpr long kLowSpeedSeconds = 60;
// Redirects are followed, as WinInet does in the Windows build.
constexpr long kMaxRedirects = 5;

// libcurl loaded, and its process-wide setup, held only while one download runs.
class CurlLibrary {
public:
    CurlLibrary() : ready_(api_ && api_.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}
    CurlLibrary(const CurlLibrary&) = delete;
    CurlLibrary& operator=(const CurlLibrary&) = delete;
    ~CurlLibrary() {
        if (ready_) {
            api_.global_cleanup();
        }
    }
    explicit operator bool() const { return ready_; }
    const CurlApi& Api() const { return api_; }

private:
    CurlApi api_;
    bool ready_;
};

struct EasyCleanup {
    const CurlApi* api;
    void operator()(CURL* curl) const { api->easy_cleanup(curl); }
};
struct SlistFree {
    const CurlApi* api;
    void operator()(curl_slist* list) const { api->slist_free_all(list); }
};

struct Transfer {
    const CurlApi& api;
    CURL* curl;
    DownloadTarget& target;
    // Raised while libcurl was calling us; carried across its C frames.
    std::exception_ptr error;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    try {
        // An error page must not become the file: stop at its first byte.
        long status = 0;
        if (transfer.api.easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200) {
            return 0;
        }
        return transfer.target.Write(data, bytes) ? bytes : 0;
    } catch (...) {
        transfer.error = std::current_exception();
        return 0;
    }
}

bool Configure(const CurlApi& api, CURL* curl, const std::string& url, curl_slist* headers, Transfer& transfer) {
    const auto set = api.easy_setopt;
    return set(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
           set(curl, CURLOPT_USERAGENT, "Zephrane") == CURLE_OK &&
           set(curl, CURLOPT_HTTPHEADER, headers) == CURLE_OK &&
           set(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
           set(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
           set(curl, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
           set(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
           set(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
           set(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond) == CURLE_OK &&
           set(curl, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds) == CURLE_OK &&
           set(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
           set(curl, CURLOPT_BUFFERSIZE, static_cast<long>(kDownloadBufferSize)) == CURLE_OK &&
           set(curl, CURLOPT_WRITEFUNCTION, WriteBody) == CURLE_OK &&
           set(curl, CURLOPT_WRITEDATA, &transfer) == CURLE_OK;
}

}  // namespace

// The proxy comes from http_proxy and no_proxy, which libcurl reads itself.
bool SystemPlatform::DownloadFile(const std::string& url, const std::string& destPath) {
    // Declared in this order so that they are released in reverse.
    const CurlLibrary library;
    if (!library) {
        return false;
    }
    const CurlApi& api = library.Api();
    std::unique_ptr<curl_slist, SlistFree> headers(nullptr, SlistFree{&api});
    for (const char* header : {"Cache-Control: no-cache", "Pragma: no-cache"}) {
        curl_slist* list = api.slist_append(headers.get(), header);
        if (list == nullptr) {
            return false;
        }
        if (!headers) {
            headers.reset(list);
        }
    }
    const std::unique_ptr<CURL, EasyCleanup> curl(api.easy_init(), EasyCleanup{&api});
    if (!curl) {
        return false;
    }
    DownloadTarget target(*this, destPath);
    Transfer transfer{api, curl.get(), target, nullptr};
    if (!Configure(api, curl.get(), url, headers.get(), transfer)) {
        return false;
    }
    // Fails on a transfer error, a body shorter than its Content-Length and
    // a stop requested by WriteBody.
    const CURLcode result = api.easy_perform(curl.get());
    if (transfer.error) {
        std::rethrow_exception(transfer.error);
    }
    long status = 0;
    if (result != CURLE_OK || api.easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
        status != 200) {
        return false;
    }
    return target.Finish();
}

}  // namespace zephrane
