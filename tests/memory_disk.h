// Files in memory, and a Folder over them: for tests of what reads and
// writes through a Folder.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/run_error.h"

namespace zephrane::testing {

struct MemoryDisk {
    std::map<std::string, std::string> files;  // path -> bytes
};

class MemoryFile final : public File {
public:
    MemoryFile(MemoryDisk& disk, std::string path) : disk_(disk), path_(std::move(path)) {}
    std::size_t Write(const char* data, std::size_t size) override {
        disk_.files[path_].append(data, size);
        return size;
    }
    std::size_t Read(char* data, std::size_t size) override {
        const std::size_t got = disk_.files[path_].copy(data, size, position_);
        position_ += got;
        return got;
    }
    void Close() override {}

private:
    MemoryDisk& disk_;
    std::string path_;
    std::size_t position_ = 0;
};

class MemoryFolder final : public Folder {
public:
    // `path` ends with the separator.
    MemoryFolder(MemoryDisk& disk, std::string path) : disk_(disk), path_(std::move(path)) {}
    std::unique_ptr<File> CreateFile(const std::string& name, FileAccess) override {
        const std::string path = path_ + name;
        if (!disk_.files.emplace(path, "").second) {
            return nullptr;
        }
        return std::make_unique<MemoryFile>(disk_, path);
    }
    std::unique_ptr<File> OpenFile(const std::string& name) override {
        if (disk_.files.count(path_ + name) == 0) {
            return nullptr;
        }
        return std::make_unique<MemoryFile>(disk_, path_ + name);
    }
    bool DeleteFile(const std::string& name) override { return disk_.files.erase(path_ + name) > 0; }
    void Sync() override {}
    void Share() override {}

private:
    MemoryDisk& disk_;
    std::string path_;
};

}  // namespace zephrane::testing
