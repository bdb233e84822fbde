#include <algorithm>
#include <bit>
#include <memory>

#include "platform/download.h"
#include "platform/win32/console_close.h"
#include "platform/win32/handles.h"
#include "platform/win32/machine_proxy.h"
#include "platform/win32/wininet_api.h"

namespace zephrane {
namespace {

using Clock = std::chrono::steady_clock;

// WinInet follows redirects itself. No cookie, no credential (NTLM and
// Negotiate log on by themselves) and no dialog may go where one leads; a
// redirect from http to https is followed without the zone warning that
// would refuse it, the certificate checked as usual; nothing is kept in
// the cache, nor taken from it.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI;

// What WinInet's own thread reports, and the memory it may still write to,
// until the request's last callback: it must outlive the request handle.
struct Completion {
    KernelHandle done{CreateEventA(nullptr, FALSE, FALSE, nullptr)};   // a call left pending has ended
    KernelHandle closed{CreateEventA(nullptr, TRUE, FALSE, nullptr)};  // the request calls back no more
    bool succeeded = false;                                            // the call that ended
    DWORD ready = 0;                                                   // bytes that can be read at once
    DWORD got = 0;                                                     // bytes read into `buffer`
    bool secure = false;                                               // the request goes to an https URL
    bool downgraded = false;  // a redirect led from https back to http
    char buffer[kDownloadBufferSize];
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* information, DWORD) {
    // The request's context, which WinInet hands back as an integer.
    auto* completion = std::bit_cast<Completion*>(context);
    if (completion != nullptr && status == INTERNET_STATUS_REQUEST_COMPLETE) {
        // Its error field holds other things on success (the bytes a query found).
        completion->succeeded = static_cast<const INTERNET_ASYNC_RESULT*>(information)->dwResult != 0;
        SetEvent(completion->done.get());
    } else if (completion != nullptr && status == INTERNET_STATUS_HANDLE_CLOSING) {
        SetEvent(completion->closed.get());
    } else if (completion != nullptr && status == INTERNET_STATUS_REDIRECT) {
        // The new URL; what an https answer points to over plain http is not taken.
        const bool secure = _strnicmp(static_cast<const char*>(information), "https:", 6) == 0;
        completion->downgraded = completion->downgraded || (completion->secure && !secure);
        completion->secure = secure;
    }
}

struct Closer {
    const WinInetApi* api;
    void operator()(HINTERNET handle) const { api->close_handle(handle); }
};
using InternetHandle = std::unique_ptr<void, Closer>;

// Closing the request cancels what is pending on it; its last callback comes
// once WinInet's thread has let go of it (at once on Windows; Wine first
// finishes a receive under way), and nothing may be released before.
struct RequestCloser {
    const WinInetApi* api;
    const Completion* completion;
    void operator()(HINTERNET handle) const {
        if (api->close_handle(handle)) {
            WaitForSingleObject(completion->closed.get(), INFINITE);
        }
    }
};
using RequestHandle = std::unique_ptr<void, RequestCloser>;

enum class Outcome { Failed, AtOnce, Later };

// Makes a call that WinInet may leave pending, and waits for it until the deadline.
template <typename Call>
Outcome Await(Completion& completion, Clock::time_point deadline, Call call) {
    ResetEvent(completion.done.get());
    if (call()) {
        return Outcome::AtOnce;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return Outcome::Failed;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const auto wait = static_cast<DWORD>(std::max<decltype(left)>(left, 0));
    return WaitUnlessClosed(completion.done.get(), wait) && completion.succeeded ? Outcome::Later : Outcome::Failed;
}

bool QueryNumber(const WinInetApi& api, HINTERNET request, DWORD info, DWORD& value) {
    DWORD size = sizeof value;
    return api.query_info(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
}

bool SetTimeout(const WinInetApi& api, HINTERNET handle, DWORD option, std::chrono::milliseconds duration) {
    auto milliseconds = static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(duration.count(), 1));
    return api.set_option(handle, option, &milliseconds, sizeof milliseconds) != FALSE;
}

// Host, port and path of `url`, for a connection of our own.
struct Target {
    std::string host;
    INTERNET_PORT port = 0;
    std::string path;
    bool secure = false;
};

std::optional<Target> Crack(const WinInetApi& api, const std::string& url) {
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;  // asks for pointers into `url`
    parts.dwUrlPathLength = 1;
    if (!api.crack_url(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) || parts.lpszHostName == nullptr) {
        return std::nullopt;
    }
    // The path runs on to the end of `url`, with its query.
    const bool hasPath = parts.lpszUrlPath != nullptr && *parts.lpszUrlPath != '\0';
    return Target{std::string(parts.lpszHostName, parts.dwHostNameLength), parts.nPort,
                  hasPath ? parts.lpszUrlPath : "/", parts.nScheme == INTERNET_SCHEME_HTTPS};
}

// Where the caller's Internet settings name no proxy and no configuration
// script (as SYSTEM's normally do), the machine's WinHTTP proxy, if it has
// one. Unreadable settings are WinInet's to apply.
std::optional<MachineProxy> MachineProxyInstead(const WinInetApi& api) {
    INTERNET_PER_CONN_OPTIONA option{};
    option.dwOption = INTERNET_PER_CONN_FLAGS;
    INTERNET_PER_CONN_OPTION_LISTA list{};
    list.dwSize = sizeof list;
    list.dwOptionCount = 1;
    list.pOptions = &option;
    DWORD size = sizeof list;
    if (!api.query_option(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size) ||
        (option.Value.dwValue & (PROXY_TYPE_PROXY | PROXY_TYPE_AUTO_PROXY_URL)) != 0) {
        return std::nullopt;
    }
    return MachineWinHttpProxy();
}

std::string NoCacheHeaders() {
    std::string headers;
    for (const char* header : kNoCacheHeaders) {
        headers.append(header).append("\r\n");
    }
    return headers;
}

}  // namespace

std::optional<std::string> DownloadWithin(const std::string& url, const DownloadLimits& limits) {
    const Clock::time_point deadline = Clock::now() + limits.total;
    // Declared in this order so that they are released in reverse: the
    // request (waiting for its last callback) first, the library last.
    const WinInetApi api;
    Completion completion;
    const std::optional<Target> target = api ? Crack(api, url) : std::nullopt;
    const std::string headers = NoCacheHeaders();
    if (!target || !completion.done || !completion.closed) {
        return std::nullopt;
    }
    // Asynchronous, so that the deadline ends any call, even one receiving
    // headers a byte at a time: a blocking call ends only when bytes stop.
    const std::optional<MachineProxy> machine = MachineProxyInstead(api);
    const InternetHandle session(
        machine ? api.open(kUserAgent, INTERNET_OPEN_TYPE_PROXY, machine->proxy.c_str(),
                           machine->bypass.empty() ? nullptr : machine->bypass.c_str(), INTERNET_FLAG_ASYNC)
                : api.open(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC),
        Closer{&api});
    if (!session || api.set_status_callback(session.get(), OnStatus) == INTERNET_INVALID_STATUS_CALLBACK) {
        return std::nullopt;
    }
    const InternetHandle connection(api.connect(session.get(), target->host.c_str(), target->port, nullptr, nullptr,
                                                INTERNET_SERVICE_HTTP, 0, 0),
                                    Closer{&api});
    // INTERNET_FLAG_RELOAD skips the local cache only; the headers ask proxies too.
    const DWORD flags = kRequestFlags | (target->secure ? INTERNET_FLAG_SECURE : 0);
    completion.secure = target->secure;
    const RequestHandle request(connection ? api.open_request(connection.get(), "GET", target->path.c_str(), nullptr,
                                                              nullptr, nullptr, flags,
                                                              reinterpret_cast<DWORD_PTR>(&completion))
                                           : nullptr,
                                RequestCloser{&api, &completion});
    // Limits on the request itself, before it is sent: WinInet sets none of
    // its own, and Wine takes send and receive limits only from a request.
    if (!request || !SetTimeout(api, request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits.connect) ||
        !SetTimeout(api, request.get(), INTERNET_OPTION_SEND_TIMEOUT, limits.idle) ||
        !SetTimeout(api, request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits.idle) ||
        Await(completion, deadline, [&] {
            return api.send_request(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()), nullptr, 0);
        }) == Outcome::Failed ||
        completion.downgraded) {
        return std::nullopt;
    }
    DWORD status = 0;
    DWORD announced = 0;
    // WinInet reports a connection closed early as a normal end of data:
    // the announced length tells.
    const bool hasLength = QueryNumber(api, request.get(), HTTP_QUERY_CONTENT_LENGTH, announced);
    DownloadBody body;
    if (!QueryNumber(api, request.get(), HTTP_QUERY_STATUS_CODE, status) ||
        !body.Start(static_cast<long>(status), hasLength ? std::optional<std::uint64_t>(announced) : std::nullopt)) {
        return std::nullopt;
    }
    while (Clock::now() < deadline) {
        const Outcome query = Await(completion, deadline, [&] {
            return api.query_data_available(request.get(), &completion.ready, 0, 0);
        });
        if (query == Outcome::Failed) {
            return std::nullopt;
        }
        if (query == Outcome::Later) {
            continue;  // data has come: asked again, the query answers at once
        }
        completion.got = 0;
        if (completion.ready > 0 && Await(completion, deadline, [&] {
                return api.read_file(request.get(), completion.buffer,
                                     std::min<DWORD>(completion.ready, sizeof completion.buffer), &completion.got);
            }) == Outcome::Failed) {
            return std::nullopt;
        }
        if (completion.got == 0) {  // the end of the data
            return body.Take();
        }
        if (!body.Append(completion.buffer, completion.got)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace zephrane
