#include "platform/win32/win32_api.h"

#include <wininet.h>

#include "platform/download.h"
#include "platform/win32/handles.h"

namespace zephrane {
namespace {

using InternetHandle = UniqueHandle<HINTERNET, InternetCloseHandle>;
using Clock = std::chrono::steady_clock;

bool QueryNumber(HINTERNET request, DWORD info, DWORD& value) {
    DWORD size = sizeof value;
    return HttpQueryInfoA(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
}

bool SetTimeout(HINTERNET handle, DWORD option, std::chrono::milliseconds duration) {
    auto milliseconds = static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(duration.count(), 1));
    return InternetSetOptionA(handle, option, &milliseconds, sizeof milliseconds) != FALSE;
}

// Host, port and path of `url`, for a connection of our own.
struct Target {
    std::string host;
    INTERNET_PORT port = 0;
    std::string path;
    bool secure = false;
};

std::optional<Target> Crack(const std::string& url) {
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;  // asks for pointers into `url`
    parts.dwUrlPathLength = 1;
    if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) || parts.lpszHostName == nullptr) {
        return std::nullopt;
    }
    // The path runs on to the end of `url`, with its query.
    const bool hasPath = parts.lpszUrlPath != nullptr && *parts.lpszUrlPath != '\0';
    return Target{std::string(parts.lpszHostName, parts.dwHostNameLength), parts.nPort,
                  hasPath ? parts.lpszUrlPath : "/", parts.nScheme == INTERNET_SCHEME_HTTPS};
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
    const std::optional<Target> target = Crack(url);
    if (!target) {
        return std::nullopt;
    }
    // Declared in this order so that they close in reverse: request, connection, session.
    const InternetHandle session(InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    const InternetHandle connection(session ? InternetConnectA(session.get(), target->host.c_str(), target->port,
                                                               nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0)
                                            : nullptr);
    // INTERNET_FLAG_RELOAD skips the local cache only; the headers ask proxies too.
    const DWORD flags = INTERNET_FLAG_RELOAD | (target->secure ? INTERNET_FLAG_SECURE : 0);
    const InternetHandle request(connection ? HttpOpenRequestA(connection.get(), "GET", target->path.c_str(), nullptr,
                                                               nullptr, nullptr, flags, 0)
                                            : nullptr);
    // Limits on the request itself, before it is sent: WinInet sets none of
    // its own, and Wine takes send and receive limits only from a request.
    // A receive call then blocks at most the idle time; the read loop keeps
    // the deadline.
    const std::string headers = NoCacheHeaders();
    if (!request || !SetTimeout(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits.connect) ||
        !SetTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, limits.idle) ||
        !SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, std::min(limits.idle, limits.total)) ||
        !HttpSendRequestA(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()), nullptr, 0)) {
        return std::nullopt;
    }
    // An error page must not become the file.
    DWORD status = 0;
    if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, status) || status != 200) {
        return std::nullopt;
    }
    // WinInet reports a connection closed early as a normal end of data.
    DWORD announced = 0;
    const bool hasLength = QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, announced);

    std::string body;
    char buffer[kDownloadBufferSize];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 ||
            !SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, std::min(limits.idle, left))) {
            return std::nullopt;
        }
        // A read fills the whole buffer before it returns, however slowly
        // the bytes come: only what has arrived is read, so the deadline holds.
        DWORD ready = 0;
        if (!InternetQueryDataAvailable(request.get(), &ready, 0, 0)) {
            return std::nullopt;
        }
        DWORD got = 0;
        if (ready > 0 && !InternetReadFile(request.get(), buffer, std::min<DWORD>(ready, sizeof buffer), &got)) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        if (got > kMaxDownloadSize - body.size()) {
            return std::nullopt;
        }
        body.append(buffer, got);
    }
    if (hasLength && body.size() != announced) {
        return std::nullopt;
    }
    return body;
}

}  // namespace zephrane
