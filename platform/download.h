// The HTTP download both backends make, and what they share: bounds, the
// agent, the headers that keep caches out of the way, and which answer is
// kept.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
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

// The answer a download keeps: status 200, a body as long as the answer
// announced (where it did), at most kMaxDownloadSize bytes. An error page
// must not become the file, nor must part of one. The backend feeds it
// what arrives and ends the transfer at the first false.
class DownloadBody {
public:
    // Once the answer's headers are in: its status and announced length
    // (nullopt: none). False for an answer whose body is not worth receiving.
    bool Start(long status, std::optional<std::uint64_t> announced);
    bool Started() const { return started_; }
    // Bytes of the body as they arrive: false after a refused start and once
    // they pass the cap.
    bool Append(const char* data, std::size_t size);
    // At the end of the data: the body, if the answer was kept and came whole.
    std::optional<std::string> Take();

private:
    bool started_ = false;
    bool accepted_ = false;
    std::optional<std::uint64_t> announced_;
    std::string body_;
};

// The body DownloadBody keeps from a GET of `url`, through the system's
// proxy settings, within `limits`; nullopt for anything else. Each backend
// implements it; SystemPlatform::Download calls it with kDownloadLimits.
std::optional<std::string> DownloadWithin(const std::string& url, const DownloadLimits& limits);

}  // namespace zephrane
