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
    // Declared in this order so that they close in reverse: URL, session.
    const InternetHandle session(InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    // WinInet sets no time limits of its own here; a receive call then blocks
    // at most the idle time, and the read loop keeps the deadline.
    if (!session || !SetTimeout(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits.connect) ||
        !SetTimeout(session.get(), INTERNET_OPTION_SEND_TIMEOUT, limits.idle) ||
        !SetTimeout(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits.idle)) {
        return std::nullopt;
    }
    // INTERNET_FLAG_RELOAD skips the local cache only; the headers ask proxies too.
    const std::string headers = NoCacheHeaders();
    const InternetHandle request(InternetOpenUrlA(session.get(), url.c_str(), headers.c_str(),
                                                  static_cast<DWORD>(headers.size()), INTERNET_FLAG_RELOAD, 0));
    // An error page must not become the file.
    DWORD status = 0;
    if (!request || !QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, status) || status != 200) {
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
        DWORD got = 0;
        if (!InternetReadFile(request.get(), buffer, sizeof buffer, &got)) {
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
