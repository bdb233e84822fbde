// The HTTP download both backends make, and what they share: bounds, the
// agent and the headers that keep caches out of the way.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace zephrane {

struct DownloadLimits {
    std::chrono::milliseconds connect;  // to reach the server (or the proxy)
    std::chrono::milliseconds idle;     // without a byte
    std::chrono::milliseconds total;    // for the whole transfer
};

// A dead server or a trickling transfer must not hang a run.
inline constexpr DownloadLimits kDownloadLimits{std::chrono::seconds(30), std::chrono::seconds(60),
                                                std::chrono::seconds(120)};
// Far beyond any file the tool fetches; a larger body is refused before it fills memory.
inline constexpr std::size_t kMaxDownloadSize = std::size_t{1024} * 1024;
inline constexpr std::size_t kDownloadBufferSize = 1024;
inline constexpr const char* kUserAgent = "Zephrane";
// Asks every cache on the way (local, proxies) for a fresh copy.
inline constexpr const char* kNoCacheHeaders[] = {"Cache-Control: no-cache", "Pragma: no-cache"};

// The body of a complete answer with status 200 to a GET of `url`, through
// the system's proxy settings, within `limits`; nullopt for anything else.
// Each backend implements it; Platform::Download calls it with kDownloadLimits.
std::optional<std::string> DownloadWithin(const std::string& url, const DownloadLimits& limits);

}  // namespace zephrane
