#include "platform/text_file.h"

#include "platform/run_error.h"

namespace zephrane {
namespace {
constexpr char kCtrlZ = '\x1A';
}

TextWriter::TextWriter(Platform& platform, const std::string& path, FileMode mode)
    : file_(platform.OpenFile(path, mode)) {
    buffer_.reserve(kTextBufferSize);
}

void TextWriter::Write(std::string_view text) {
    while (!text.empty()) {
        const std::size_t take = std::min(text.size(), kTextBufferSize - buffer_.size());
        buffer_.append(text.substr(0, take));
        text.remove_prefix(take);
        if (buffer_.size() == kTextBufferSize) {
            FlushBuffer();
        }
    }
}

void TextWriter::WriteLineEnd() { Write(kLineEnd); }

void TextWriter::FlushBuffer() {
    if (buffer_.empty()) {
        return;
    }
    // A short write without a system error means the medium is full; losing
    // the rest silently would leave a truncated configuration behind.
    if (file_->Write(buffer_.data(), buffer_.size()) != buffer_.size()) {
        ThrowIoError(kErrorDiskFull);
    }
    buffer_.clear();
}

void TextWriter::Close() {
    FlushBuffer();
    file_->Close();
}

TextReader::TextReader(Platform& platform, const std::string& path)
    : file_(platform.OpenFile(path, FileMode::ReadText)) {}

bool TextReader::Fill() {
    if (position_ < filled_) {
        return true;
    }
    filled_ = file_->Read(buffer_, sizeof buffer_);
    position_ = 0;
    return filled_ > 0;
}

bool TextReader::Eof() { return !Fill() || buffer_[position_] == kCtrlZ; }

std::string TextReader::ReadLine() {
    std::string line;
    while (Fill()) {
        const char c = buffer_[position_++];
        if (c == '\n') {
            break;
        }
        if (c == '\r') {
            if (Fill() && buffer_[position_] == '\n') {
                ++position_;
                break;
            }
            continue;  // a lone CR is dropped
        }
        if (c == kCtrlZ) {
            while (Fill() && buffer_[position_++] != '\n') {
            }
            break;
        }
        line.push_back(c);
    }
    return line;
}

void TextReader::Close() { file_->Close(); }

}  // namespace zephrane
