#include <strings.h>

#include <memory>
#include <string_view>

#include "platform/download.h"
#include "platform/posix/curl_api.h"

namespace zephrane {
namespace {

// Redirects are followed, as WinInet does in the Windows build. Without a
// cookie file and a .netrc, libcurl sends no cookies and no credentials,
// also where a redirect leads.
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
    DownloadBody body;
};

// The answer as its headers have it (with redirects followed, the last one's).
void Start(Transfer& transfer) {
    const auto info = transfer.api.easy_getinfo;
    long status = 0;
    curl_off_t length = -1;  // none announced
    if (info(transfer.curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        status = 0;
    }
    if (info(transfer.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) {
        length = -1;
    }
    transfer.body.Start(status, length >= 0 ? std::optional<std::uint64_t>(length) : std::nullopt);
}

std::size_t Receive(char* data, std::size_t size, std::size_t count, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    if (!transfer.body.Started()) {
        Start(transfer);
    }
    return transfer.body.Append(data, bytes) ? bytes : 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && ::strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// A redirect from https back to http is refused before it is followed: the
// Location of an answer from an https URL is read as its headers arrive.
std::size_t Header(char* data, std::size_t size, std::size_t count, void* context) {
    const Transfer& transfer = *static_cast<const Transfer*>(context);
    const std::string_view line(data, size * count);
    const char* from = nullptr;
    if (StartsWithNoCase(line, "location:") &&
        transfer.api.easy_getinfo(transfer.curl, CURLINFO_EFFECTIVE_URL, &from) == CURLE_OK && from != nullptr &&
        StartsWithNoCase(from, "https:")) {
        const std::size_t value = line.find_first_not_of(" \t", 9);
        if (value != std::string_view::npos && StartsWithNoCase(line.substr(value), "http:")) {
            return 0;  // ends the transfer
        }
    }
    return size * count;
}

long Seconds(std::chrono::milliseconds duration) {
    return static_cast<long>(std::chrono::ceil<std::chrono::seconds>(duration).count());
}

// HTTP and HTTPS only, also where a redirect leads.
bool WebOnly(const CurlApi& api, CURL* curl) {
    const auto set = api.easy_setopt;
    if (api.protocols_by_name) {
        return set(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
               set(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    }
    const long web = CURLPROTO_HTTP | CURLPROTO_HTTPS;
    return set(curl, CURLOPT_PROTOCOLS, web) == CURLE_OK && set(curl, CURLOPT_REDIR_PROTOCOLS, web) == CURLE_OK;
}

bool Configure(const CurlApi& api, CURL* curl, const std::string& url, curl_slist* headers, Transfer& transfer,
               const DownloadLimits& limits) {
    const auto set = api.easy_setopt;
    return set(curl, CURLOPT_URL, url.c_str()) == CURLE_OK && set(curl, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK &&
           set(curl, CURLOPT_HTTPHEADER, headers) == CURLE_OK && WebOnly(api, curl) &&
           set(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
           set(curl, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
           set(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count())) == CURLE_OK &&
           // Below one byte a second for the idle time: nothing is arriving.
           set(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
           set(curl, CURLOPT_LOW_SPEED_TIME, Seconds(limits.idle)) == CURLE_OK &&
           set(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count())) == CURLE_OK &&
           set(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
           set(curl, CURLOPT_BUFFERSIZE, static_cast<long>(kDownloadBufferSize)) == CURLE_OK &&
           set(curl, CURLOPT_WRITEFUNCTION, Receive) == CURLE_OK && set(curl, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
           set(curl, CURLOPT_HEADERFUNCTION, Header) == CURLE_OK && set(curl, CURLOPT_HEADERDATA, &transfer) == CURLE_OK;
}

}  // namespace

// The proxy comes from http_proxy and no_proxy, which libcurl reads itself.
std::optional<std::string> DownloadWithin(const std::string& url, const DownloadLimits& limits) {
    // Declared in this order so that they are released in reverse.
    const CurlLibrary library;
    if (!library) {
        return std::nullopt;
    }
    const CurlApi& api = library.Api();
    std::unique_ptr<curl_slist, SlistFree> headers(nullptr, SlistFree{&api});
    for (const char* header : kNoCacheHeaders) {
        curl_slist* list = api.slist_append(headers.get(), header);
        if (list == nullptr) {
            return std::nullopt;
        }
        if (!headers) {
            headers.reset(list);
        }
    }
    const std::unique_ptr<CURL, EasyCleanup> curl(api.easy_init(), EasyCleanup{&api});
    if (!curl) {
        return std::nullopt;
    }
    Transfer transfer{api, curl.get(), {}};
    if (!Configure(api, curl.get(), url, headers.get(), transfer, limits)) {
        return std::nullopt;
    }
    // Fails on a transfer error, a time limit, a body shorter than its
    // Content-Length and a stop requested by Receive.
    if (api.easy_perform(curl.get()) != CURLE_OK) {
        return std::nullopt;
    }
    if (!transfer.body.Started()) {  // an empty body
        Start(transfer);
    }
    return transfer.body.Take();
}

}  // namespace zephrane
