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
    int state = 1;
    int startType = 3;
    bool canChangeStartType = true;
    bool canStart = true;
    bool canStop = true;
};

class FakePlatform final : public Platform {
public:
    FakePlatform();

    // Registry value "\Software\ISC\BIND\" InstallDir; empty when absent.
    std::string installDir;

    std::set<std::string> folders;                   // without trailing separator
    std::map<std::string, std::string> files;        // path -> bytes
    std::map<std::string, FileMode> fileModes;       // how each file was last opened for writing
    std::set<std::string> undeletable;               // DeleteFile fails but reports nothing
    std::set<std::string> uncreatable;               // CreateDirectory fails
    std::set<std::string> invisible;                 // FileExists says no (e.g. a bad time stamp)
    std::size_t writeLimit = SIZE_MAX;               // bytes a single Write accepts

    std::map<std::string, FakeService> services;
    std::vector<std::string> calls;
    LocalTime now{2010, 2, 1, 9, 5, 3};
    bool console = false;
    std::string out;
    std::string err;

    // Download and key generator; the defaults succeed like the real ones.
    std::function<bool(const std::string& url, const std::string& dest)> download;
    std::function<bool(const std::string& program, const std::string& arguments)> launch;

    std::string ReadRegistryString(const std::string& key, const std::string& value) override;
    bool DirectoryExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool CreateDirectory(const std::string& path) override;
    bool RenameFile(const std::string& oldPath, const std::string& newPath) override;
    bool DeleteFile(const std::string& path) override;
    std::unique_ptr<File> OpenFile(const std::string& path, FileMode mode) override;
    LocalTime Now() override { return now; }
    void Sleep(unsigned milliseconds) override;
    bool StdoutIsConsole() override { return console; }
    void WriteStdout(std::string_view bytes) override { out.append(bytes); }
    void WriteStderr(std::string_view bytes) override { err.append(bytes); }
    std::string ExecutablePath() override { return Root() + "tools" + kPathSeparator + "zephrane.exe"; }
    int GetServiceState(const std::string& name) override;
    bool SetServiceStartType(const std::string& name, int startType) override;
    bool StartServiceAndWait(const std::string& name) override;
    bool StopServiceAndWait(const std::string& name) override;
    bool DownloadFile(const std::string& url, const std::string& destPath) override;
    bool RunAndWait(const std::string& program, const std::string& arguments) override;

    // Paths in this build's form: Root() + "a" + Sep() ...
    static std::string Root();
    static std::string Join(std::initializer_list<std::string> parts, bool folder);
    // A BIND installation: InstallDir in the registry, bin folder, generator.
    void InstallBind(const std::string& dir);
};

// Lines joined with the build's line end, each line ended.
std::string Lines(const std::vector<std::string>& lines);

}  // namespace zephrane::testing
