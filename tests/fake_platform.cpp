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
        if (platform_.full.count(path_) > 0) {
            return 0;
        }
        platform_.files[path_].append(data, size);
        return size;
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

class FakeFolder final : public Folder {
public:
    FakeFolder(FakePlatform& platform, std::string path) : platform_(platform), path_(std::move(path)) {}

    std::unique_ptr<File> CreateFile(const std::string& name, FileAccess access) override {
        const std::string path = path_ + name;
        if (platform_.files.count(path) > 0 || platform_.folders.count(path) > 0) {
            return nullptr;
        }
        platform_.files[path];
        platform_.fileAccess[path] = access;
        return std::make_unique<FakeFile>(platform_, path, "");
    }
    std::unique_ptr<File> OpenFile(const std::string& name) override {
        const auto found = platform_.files.find(path_ + name);
        if (found == platform_.files.end()) {
            ThrowIoError(kErrorFileNotFound);
        }
        if (platform_.unreadable.count(found->first) > 0) {
            ThrowIoError(kErrorAccessDenied);
        }
        return std::make_unique<FakeFile>(platform_, found->first, found->second);
    }
    bool DeleteFile(const std::string& name) override { return platform_.DeleteFile(path_ + name); }
    void Sync() override { platform_.calls.push_back("Sync(" + path_ + ")"); }

private:
    FakePlatform& platform_;
    std::string path_;
};

class FakeHold final : public Hold {
public:
    FakeHold(FakePlatform& platform, std::string what) : platform_(platform), what_(std::move(what)) {}
    ~FakeHold() override { platform_.calls.push_back("Release(" + what_ + ")"); }

private:
    FakePlatform& platform_;
    std::string what_;
};

}  // namespace

FakePlatform::FakePlatform() {
    download = [](const std::string&) -> std::optional<std::string> {
        return ". 3600000 NS A.ROOT-SERVERS.NET.\nA.ROOT-SERVERS.NET. 3600000 A 198.41.0.4\n";
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
    if (registryWrongType) {
        ThrowRegistryTypeError(value);
    }
    return installDir;
}

bool FakePlatform::DirectoryExists(const std::string& path) { return !path.empty() && folders.count(Bare(path)) > 0; }

bool FakePlatform::FileExists(const std::string& path) {
    return !path.empty() && path.back() != kPathSeparator && files.count(path) > 0 && invisible.count(path) == 0;
}

bool FakePlatform::IsProtectedFolder(const std::string& path) { return unprotected.count(Bare(path)) == 0; }

bool FakePlatform::IsProtectedProgram(const std::string& path) { return unprotected.count(path) == 0; }

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

std::unique_ptr<Folder> FakePlatform::OpenFolder(const std::string& path, const Account& server) {
    if (folders.count(Bare(path)) == 0) {
        return nullptr;
    }
    folderAccounts[Bare(path)] = server.id;
    return std::make_unique<FakeFolder>(*this, Bare(path) + kPathSeparator);
}

void FakePlatform::Sleep(unsigned milliseconds) { calls.push_back("Sleep(" + std::to_string(milliseconds) + ")"); }

ServiceState FakePlatform::GetServiceState(const std::string& name) {
    calls.push_back("GetServiceState(" + name + ")");
    const auto found = services.find(name);
    return found == services.end() ? ServiceState::Absent : found->second.state;
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

bool FakePlatform::SetServiceStartType(const std::string& name, StartType startType) {
    return ChangeService(*this,
                         "SetServiceStartType(" + name + "," + std::to_string(static_cast<int>(startType)) + ")",
                         name, &FakeService::canChangeStartType, [&](FakeService& s) { s.startType = startType; });
}

bool FakePlatform::StartServiceAndWait(const std::string& name) {
    return ChangeService(*this, "StartServiceAndWait(" + name + ")", name, &FakeService::canStart,
                         [](FakeService& s) { s.state = ServiceState::Running; });
}

bool FakePlatform::StopServiceAndWait(const std::string& name) {
    return ChangeService(*this, "StopServiceAndWait(" + name + ")", name, &FakeService::canStop,
                         [](FakeService& s) { s.state = ServiceState::Stopped; });
}

Account FakePlatform::ServiceAccount(const std::string& name, const std::vector<std::string>&) {
    return services.count(name) > 0 ? Account{serverAccount} : Account{};
}

std::optional<std::string> FakePlatform::Download(const std::string& url) {
    calls.push_back("Download(" + url + ")");
    return download(url);
}

bool FakePlatform::RunAndWait(const std::string& program, const std::string& arguments) {
    calls.push_back("RunAndWait(" + program + "," + arguments + ")");
    return launch(program, arguments);
}

std::unique_ptr<Hold> FakePlatform::LockFolder(const std::string& path) {
    calls.push_back("LockFolder(" + path + ")");
    return lockTaken ? nullptr : std::make_unique<FakeHold>(*this, "lock");
}

std::unique_ptr<Hold> FakePlatform::HoldInterruptions() {
    calls.push_back("HoldInterruptions()");
    return std::make_unique<FakeHold>(*this, "interruptions");
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text.append(line).append(kLineEnd);
    }
    return text;
}

}  // namespace zephrane::testing
