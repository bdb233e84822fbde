#include "tests/fake_platform.h"

#include "platform/paths.h"
#include "platform/run_error.h"

namespace zephrane::testing {
namespace {

std::string Bare(const std::string& path) { return StripTrailingBackslash(path); }

class FakeFile final : public File {
public:
    FakeFile(FakePlatform& platform, std::string path, std::string content)
        : platform_(platform), path_(std::move(path)), content_(std::move(content)) {}

    std::size_t Write(const char* data, std::size_t size) override {
        const std::size_t take = std::min(size, platform_.writeLimit);
        platform_.files[path_].append(data, take);
        return take;
    }
    std::size_t Read(char* data, std::size_t size) override {
        const std::size_t take = std::min(size, content_.size() - position_);
        content_.copy(data, take, position_);
        position_ += take;
        return take;
    }
    void Close() override {}

private:
    FakePlatform& platform_;
    std::string path_;
    std::string content_;
    std::size_t position_ = 0;
};

}  // namespace

FakePlatform::FakePlatform() {
    download = [this](const std::string&, const std::string& dest) {
        files[dest] = ". 3600000 NS A.ROOT-SERVERS.NET.\n";
        return true;
    };
    launch = [this](const std::string& program, const std::string&) {
        const std::string installDir = ExtractFilePath(Bare(ExtractFilePath(program)));
        files[installDir + "etc" + kPathSeparator + "rndc.key"] =
            "key \"rndc-key\" {\n\talgorithm hmac-md5;\n\tsecret \"c2VjcmV0\";\n};\n";
        return true;
    };
}

std::string FakePlatform::Root() { return kHasDriveMark ? "C:\\" : "/"; }

std::string FakePlatform::Join(std::initializer_list<std::string> parts, bool folder) {
    std::string path = Root();
    for (const std::string& part : parts) {
        path += part + kPathSeparator;
    }
    if (!folder) {
        path.pop_back();
    }
    return path;
}

void FakePlatform::InstallBind(const std::string& dir) {
    installDir = dir;
    std::string folder;
    for (char c : Bare(dir) + kPathSeparator) {
        folder.push_back(c);
        if (c == kPathSeparator && folder.size() > Root().size()) {
            folders.insert(Bare(folder));
        }
    }
    const std::string withSep = Bare(dir) + kPathSeparator;
    folders.insert(withSep + "bin");
    files[withSep + "bin" + kPathSeparator + std::string(kKeyGeneratorName)] = "MZ";
    services["named"];
}

std::string FakePlatform::ReadRegistryString(const std::string& key, const std::string& value) {
    calls.push_back("ReadRegistry(" + key + "," + value + ")");
    return installDir;
}

bool FakePlatform::DirectoryExists(const std::string& path) { return !path.empty() && folders.count(Bare(path)) > 0; }

bool FakePlatform::FileExists(const std::string& path) {
    return !path.empty() && path.back() != kPathSeparator && files.count(path) > 0 && invisible.count(path) == 0;
}

bool FakePlatform::CreateDirectory(const std::string& path) {
    const std::string folder = Bare(path);
    const std::string parent = Bare(ExtractFilePath(folder));
    if (uncreatable.count(folder) > 0 || folders.count(folder) > 0 || files.count(folder) > 0 ||
        (parent.size() >= Root().size() && parent + kPathSeparator != Root() && folders.count(parent) == 0)) {
        return false;
    }
    calls.push_back("CreateDirectory(" + path + ")");
    folders.insert(folder);
    return true;
}

bool FakePlatform::RenameFile(const std::string& oldPath, const std::string& newPath) {
    const std::string from = Bare(oldPath);
    const std::string to = Bare(newPath);
    calls.push_back("RenameFile(" + oldPath + "," + newPath + ")");
    if (folders.count(to) > 0 || files.count(to) > 0 || folders.count(from) == 0) {
        return false;
    }
    auto moved = [&](const std::string& path) { return to + path.substr(from.size()); };
    auto below = [&](const std::string& path) {
        return path == from || path.starts_with(from + kPathSeparator);
    };
    std::set<std::string> newFolders;
    for (const std::string& folder : folders) {
        newFolders.insert(below(folder) ? moved(folder) : folder);
    }
    folders = std::move(newFolders);
    std::map<std::string, std::string> newFiles;
    for (auto& [path, content] : files) {
        newFiles[below(path) ? moved(path) : path] = content;
    }
    files = std::move(newFiles);
    return true;
}

bool FakePlatform::DeleteFile(const std::string& path) {
    calls.push_back("DeleteFile(" + path + ")");
    return undeletable.count(path) == 0 && files.erase(path) > 0;
}

std::unique_ptr<File> FakePlatform::OpenFile(const std::string& path, FileMode mode) {
    if (mode == FileMode::ReadText) {
        const auto found = files.find(path);
        if (found == files.end()) {
            ThrowIoError(kErrorFileNotFound);
        }
        return std::make_unique<FakeFile>(*this, path, found->second);
    }
    if (folders.count(Bare(ExtractFilePath(path))) == 0) {
        ThrowIoError(kErrorPathNotFound);
    }
    files[path].clear();
    fileModes[path] = mode;
    return std::make_unique<FakeFile>(*this, path, "");
}

void FakePlatform::Sleep(unsigned milliseconds) { calls.push_back("Sleep(" + std::to_string(milliseconds) + ")"); }

int FakePlatform::GetServiceState(const std::string& name) {
    calls.push_back("GetServiceState(" + name + ")");
    const auto found = services.find(name);
    return found == services.end() ? -1 : found->second.state;
}

// Records the call; changes the service when it exists and `allowed` holds.
template <typename Change>
bool ChangeService(FakePlatform& platform, std::string call, const std::string& name, bool FakeService::*allowed,
                   Change change) {
    platform.calls.push_back(std::move(call));
    const auto found = platform.services.find(name);
    if (found == platform.services.end() || !(found->second.*allowed)) {
        return false;
    }
    change(found->second);
    return true;
}

bool FakePlatform::SetServiceStartType(const std::string& name, int startType) {
    return ChangeService(*this, "SetServiceStartType(" + name + "," + std::to_string(startType) + ")", name,
                         &FakeService::canChangeStartType, [&](FakeService& s) { s.startType = startType; });
}

bool FakePlatform::StartServiceAndWait(const std::string& name) {
    return ChangeService(*this, "StartServiceAndWait(" + name + ")", name, &FakeService::canStart,
                         [](FakeService& s) { s.state = 4; });
}

bool FakePlatform::StopServiceAndWait(const std::string& name) {
    return ChangeService(*this, "StopServiceAndWait(" + name + ")", name, &FakeService::canStop,
                         [](FakeService& s) { s.state = 1; });
}

bool FakePlatform::DownloadFile(const std::string& url, const std::string& destPath) {
    calls.push_back("DownloadFile(" + url + "," + destPath + ")");
    return download(url, destPath);
}

bool FakePlatform::RunAndWait(const std::string& program, const std::string& arguments) {
    calls.push_back("RunAndWait(" + program + "," + arguments + ")");
    return launch(program, arguments);
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text.append(line).append(kLineEnd);
    }
    return text;
}

}  // namespace zephrane::testing
