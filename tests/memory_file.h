// A file in memory, for tests of what reads and writes through a File.
#pragma once

#include <string>

#include "platform/platform.h"

namespace zephrane::testing {

class MemoryFile final : public File {
public:
    explicit MemoryFile(std::string& bytes) : bytes_(bytes) {}
    std::size_t Write(const char* data, std::size_t size) override {
        bytes_.append(data, size);
        return size;
    }
    std::size_t Read(char* data, std::size_t size) override {
        const std::size_t got = bytes_.copy(data, size, position_);
        position_ += got;
        return got;
    }
    void Close() override {}

private:
    std::string& bytes_;
    std::size_t position_ = 0;
};

}  // namespace zephrane::testing
