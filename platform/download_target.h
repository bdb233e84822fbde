// Where a root hints download lands. The body goes to the file as it
// arrives, in pieces of at most kDownloadBufferSize bytes, and stays only
// when the whole of it is a root hints file: a failed download leaves no
// file behind.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace zephrane {

inline constexpr std::size_t kDownloadBufferSize = 1024;
// Far beyond any root hints file; a larger body is refused before it fills
// memory or disk.
inline constexpr std::size_t kMaxDownloadSize = std::size_t{1024} * 1024;

class DownloadTarget {
public:
    DownloadTarget(Platform& platform, std::string path) : platform_(platform), path_(std::move(path)) {}
    DownloadTarget(const DownloadTarget&) = delete;
    DownloadTarget& operator=(const DownloadTarget&) = delete;
    // Removes the file unless Finish() kept it.
    ~DownloadTarget() { Discard(); }

    // Writes received bytes; the first ones create the file (or empty an
    // existing one). False after a short write or past kMaxDownloadSize.
    // File errors throw RunError.
    bool Write(const char* data, std::size_t size);
    // Closes the file after the last byte: true when it holds root hints
    // and exists; otherwise removes it.
    bool Finish();

private:
    void Discard();

    Platform& platform_;
    std::string path_;
    std::unique_ptr<File> file_;
    std::string received_;  // the check needs the whole body
    bool created_ = false;
    bool kept_ = false;
};

}  // namespace zephrane
