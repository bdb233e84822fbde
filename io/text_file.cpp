#include "io/text_file.h"

#include "platform/run_error.h"

namespace zephrane {
namespace {
constexpr char kCtrlZ = '\x1A';
}

TextWriter::TextWriter(std::unique_ptr<File> file) : file_(std::move(file)) { buffer_.reserve(kTextBufferSize); }

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
    WriteAll(*file_, buffer_);
    buffer_.clear();
}

void TextWriter::Close() {
    FlushBuffer();
    file_->Close();
}

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

void WriteAll(File& file, std::string_view bytes) {
    // A short write without a system error means the medium is full.
    if (file.Write(bytes.data(), bytes.size()) != bytes.size()) {
        ThrowIoError(kErrorDiskFull);
    }
}

bool WriteTextFile(Folder& folder, const std::string& name, FileAccess access, const std::vector<std::string>& lines) {
    std::unique_ptr<File> created = folder.CreateFile(name, access);
    if (!created) {
        return false;
    }
    TextWriter file(std::move(created));
    for (const std::string& line : lines) {
        file.WriteLine(line);
    }
    file.Close();
    return true;
}

std::vector<std::string> ReadLines(std::unique_ptr<File> file) {
    std::vector<std::string> lines;
    TextReader reader(std::move(file));
    while (!reader.Eof()) {
        lines.push_back(reader.ReadLine());
    }
    reader.Close();
    return lines;
}

}  // namespace zephrane
