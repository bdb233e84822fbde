// Text files as the tool writes and reads them: single-byte text, the
// build's line end, a 128-byte buffer between the tool and the system.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace zephrane {

// Small on purpose: text leaves in 128-byte writes, to files as to
// redirected output (io/console.h), as it always has.
inline constexpr std::size_t kTextBufferSize = 128;

class TextWriter {
public:
    explicit TextWriter(std::unique_ptr<File> file);
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;
    ~TextWriter() = default;

    void Write(std::string_view text);
    void WriteLineEnd();
    void WriteLine(std::string_view text) {
        Write(text);
        WriteLineEnd();
    }
    // Writes out the rest of the buffer and closes the file.
    void Close();

private:
    void FlushBuffer();

    std::unique_ptr<File> file_;
    std::string buffer_;
};

class TextReader {
public:
    explicit TextReader(std::unique_ptr<File> file) : file_(std::move(file)) {}
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;
    ~TextReader() = default;

    // True at the physical end and when the next character is Ctrl-Z.
    bool Eof();
    // The characters up to the line end (LF or CR LF), which is consumed. A
    // lone CR is dropped; a Ctrl-Z ends the line's text and the rest of the
    // physical line is skipped.
    std::string ReadLine();
    void Close();

private:
    // Makes sure a character is buffered; false at the physical end.
    bool Fill();

    std::unique_ptr<File> file_;
    char buffer_[kTextBufferSize] = {};
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
};

// Writes all of `bytes`: a short write is an I/O error (the medium is full),
// never a silently truncated file.
void WriteAll(File& file, std::string_view bytes);

// Creates `name` in `folder` and writes `lines` to it: false, with nothing
// written, when the name is taken.
bool WriteTextFile(Folder& folder, const std::string& name, FileAccess access, const std::vector<std::string>& lines);

// The lines of `file`, which is closed afterwards.
std::vector<std::string> ReadLines(std::unique_ptr<File> file);

}  // namespace zephrane
