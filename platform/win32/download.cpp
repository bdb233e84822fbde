#include "platform/win32/win32_api.h"

#include <wininet.h>

#include "platform/download_target.h"
#include "platform/system_platform.h"
#include "platform/win32/handles.h"

namespace zephrane {
namespace {

using InternetHandle = UniqueHandle<HINTERNET, InternetCloseHandle>;

// INTERNET_FLAG_RELOAD skips the local cache only; these ask proxies on the
// way for a fresh copy as well.
constexpr char kNoCacheHeaders[] = "Cache-Control: no-cache\r\nPragma: no-cache\r\n";

bool QueryNumber(HINTERNET request, DWORD info, DWORD& value) {
    DWORD size = sizeof value;
    return HttpQueryInfoA(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
}

}  // namespace

bool SystemPlatform::DownloadFile(const std::string& url, const std::string& destPath) {
    // Declared in this order so that they close in reverse: file, URL, session.
    const InternetHandle session(InternetOpenA("Zephrane", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        return false;
    }
    const InternetHandle request(InternetOpenUrlA(session.get(), url.c_str(), kNoCacheHeaders,
                                                  sizeof kNoCacheHeaders - 1, INTERNET_FLAG_RELOAD, 0));
    if (!request) {
        return false;
    }
    // An error page must not become the file.
    DWORD status = 0;
    if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, status) || status != 200) {
        return false;
    }
    // WinInet reports a connection closed early as a normal end of data.
    DWORD announced = 0;
    const bool hasLength = QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, announced);

    DownloadTarget target(*this, destPath);
    char buffer[kDownloadBufferSize];
    std::size_t received = 0;
    while (true) {
        DWORD got = 0;
        if (!InternetReadFile(request.get(), buffer, sizeof buffer, &got)) {
            return false;
        }
        if (got == 0) {
            break;
        }
        if (!target.Write(buffer, got)) {
            return false;
        }
        received += got;
    }
    if (hasLength && received != announced) {
        return false;
    }
    return target.Finish();
}

}  // namespace zephrane
