#include "platform/download.h"

namespace zephrane {

bool DownloadBody::Start(long status, std::optional<std::uint64_t> announced) {
    started_ = true;
    accepted_ = status == 200;
    announced_ = announced;
    return accepted_;
}

bool DownloadBody::Append(const char* data, std::size_t size) {
    if (!accepted_ || size > kMaxDownloadSize - body_.size()) {
        return false;
    }
    body_.append(data, size);
    return true;
}

std::optional<std::string> DownloadBody::Take() {
    if (!accepted_ || (announced_ && body_.size() != *announced_)) {
        return std::nullopt;
    }
    return std::move(body_);
}

}  // namespace zephrane
