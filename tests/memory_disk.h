// Files and folders in memory, and a Folder over them: for the fake
// platform, and for tests of what reads and writes through a Folder.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/platform.h"
#include "platform/run_error.h"

namespace zephrane::testing {

struct MemoryDisk {
    std::set<std::string> folders;                 // paths without a trailing separator
    std::map<std::string, std::string> files;      // path -> bytes
    std::set<std::string> full;                    // writes to it come out short
    std::set<std::string> unreadable;              // opening it for reading is refused
    std::set<std::string> undeletable;             // deleting it fails
};

class MemoryFile final : public File {
public:
    MemoryFile(MemoryDisk& disk, std::string path) : disk_(disk), path_(std::move(path)) {}
    std::size_t Write(const char* data, std::size_t size) override {
        if (disk_.full.count(path_) > 0) {
            return 0;
        }
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
        if (disk_.files.count(path) > 0 || disk_.folders.count(path) > 0) {
            return nullptr;
        }
        disk_.files[path];
        return std::make_unique<MemoryFile>(disk_, path);
    }
    std::unique_ptr<File> OpenFile(const std::string& name) override {
        const std::string path = path_ + name;
        if (disk_.files.count(path) == 0) {
            return nullptr;
        }
        if (disk_.unreadable.count(path) > 0) {
            ThrowIoError(kErrorAccessDenied);
        }
        return std::make_unique<MemoryFile>(disk_, path);
    }
    bool DeleteFile(const std::string& name) override {
        return disk_.undeletable.count(path_ + name) == 0 && disk_.files.erase(path_ + name) > 0;
    }
    void Sync() override {}
    void Share() override {}

private:
    MemoryDisk& disk_;
    std::string path_;
};

}  // namespace zephrane::testing
