// A platform in memory: folders, files, registry, services and the console,
// with every service, pause, download and launch recorded in `calls`.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zephrane::testing {

struct FakeService {
    ServiceState state = ServiceState::Stopped;
    StartType startType = StartType::OnDemand;
    bool canChangeStartType = true;
    bool canStart = true;
    bool canStop = true;
};

class FakePlatform final : public Platform {
public:
    FakePlatform();

    // Registry value "\Software\ISC\BIND\" InstallDir; empty when absent.
    std::string installDir;

    std::set<std::string> folders;                      // without trailing separator
    std::map<std::string, std::string> files;           // path -> bytes
    std::map<std::string, FileAccess> fileAccess;       // how each created file may be read
    std::map<std::string, std::string> folderAccounts;  // opened folder -> the account it was opened for
    std::set<std::string> unprotected;                  // folders and programs others may change
    std::set<std::string> undeletable;                  // DeleteFile fails but reports nothing
    std::set<std::string> uncreatable;                  // CreateDirectory fails
    std::set<std::string> invisible;                    // FileExists says no (e.g. a bad time stamp)
    std::set<std::string> unreadable;                   // opening it for reading is refused
    std::set<std::string> full;                         // writes to it come out short: the disk is full
    bool registryWrongType = false;                     // InstallDir is no string value
    bool lockTaken = false;                             // another run holds the installation
    std::string serverAccount = "bind";                 // what ServiceAccount finds

    std::map<std::string, FakeService> services;
    std::vector<std::string> calls;
    LocalTime now{2010, 2, 1, 9, 5, 3};
    bool console = false;
    std::string out;
    std::string err;

    // Download and key generator; the defaults succeed like the real ones.
    std::function<std::optional<std::string>(const std::string& url)> download;
    std::function<bool(const std::string& program, const std::string& arguments)> launch;

    std::string ReadRegistryString(const std::string& key, const std::string& value) override;
    bool DirectoryExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool IsProtectedFolder(const std::string& path) override;
    bool IsProtectedProgram(const std::string& path) override;
    bool CreateDirectory(const std::string& path) override;
    bool RenameFile(const std::string& oldPath, const std::string& newPath) override;
    bool DeleteFile(const std::string& path) override;
    std::unique_ptr<Folder> OpenFolder(const std::string& path, const Account& server) override;
    LocalTime Now() override { return now; }
    void Sleep(unsigned milliseconds) override;
    bool StdoutIsConsole() override { return console; }
    void WriteStdout(std::string_view bytes) override { out.append(bytes); }
    void WriteStderr(std::string_view bytes) override { err.append(bytes); }
    std::string ExecutablePath() override { return Root() + "tools" + kPathSeparator + "zephrane.exe"; }
    ServiceState GetServiceState(const std::string& name) override;
    bool SetServiceStartType(const std::string& name, StartType startType) override;
    bool StartServiceAndWait(const std::string& name) override;
    bool StopServiceAndWait(const std::string& name) override;
    Account ServiceAccount(const std::string& name, const std::vector<std::string>& groups) override;
    std::optional<std::string> Download(const std::string& url) override;
    bool RunAndWait(const std::string& program, const std::string& arguments) override;
    std::unique_ptr<Hold> LockFolder(const std::string& path) override;
    std::unique_ptr<Hold> HoldInterruptions() override;

    // Paths in this build's form: Root() + "a" + Sep() ...
    static std::string Root();
    static std::string Join(std::initializer_list<std::string> parts, bool folder);
    // A BIND installation: InstallDir in the registry, bin folder, generator.
    void InstallBind(const std::string& dir);
};

// Lines joined with the build's line end, each line ended.
std::string Lines(const std::vector<std::string>& lines);

}  // namespace zephrane::testing
