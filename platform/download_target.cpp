#include "platform/download_target.h"

#include <algorithm>

#include "platform/root_hints.h"

namespace zephrane {

bool DownloadTarget::Write(const char* data, std::size_t size) {
    if (size > kMaxDownloadSize - received_.size()) {
        return false;
    }
    if (!created_) {
        file_ = platform_.OpenFile(path_, FileMode::WriteBinary);
        created_ = true;
    }
    for (std::size_t done = 0; done < size;) {
        const std::size_t piece = std::min(size - done, kDownloadBufferSize);
        if (file_->Write(data + done, piece) != piece) {
            return false;
        }
        done += piece;
    }
    received_.append(data, size);
    return true;
}

bool DownloadTarget::Finish() {
    if (!created_) {
        return false;  // an empty body holds no root hints
    }
    file_->Close();
    file_.reset();
    kept_ = IsRootHints(received_) && platform_.FileExists(path_);
    Discard();
    return kept_;
}

void DownloadTarget::Discard() {
    if (created_ && !kept_) {
        file_.reset();  // closed before removal: Windows keeps an open file
        platform_.DeleteFile(path_);
        created_ = false;
    }
}

}  // namespace zephrane
