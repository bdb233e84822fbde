// The real system of this build. Each backend (win32/ or posix/) implements
// these operations, one file per concern; what both share sits beside this
// header (console.cpp, download.cpp, service_wait.cpp).
#pragma once

#include "platform/download.h"
#include "platform/holds.h"
#include "platform/launch.h"
#include "platform/platform.h"

namespace zephrane {

class SystemPlatform final : public Platform {
public:
    std::string ReadRegistryString(const std::string& key, const std::string& value) override;

    bool DirectoryExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    std::unique_ptr<Hold> HoldProtectedFolder(const std::string& path) override;
    std::unique_ptr<Program> HoldProtectedProgram(const std::string& path) override;
    bool CreateFolder(const std::string& path) override;
    bool RenameFolder(const std::string& oldPath, const std::string& newPath) override;
    bool RemoveFolder(const std::string& path) override;
    std::unique_ptr<Folder> OpenFolder(const std::string& path, const Account& server) override;

    LocalTime Now() override;
    void Sleep(unsigned milliseconds) override;

    bool StdoutIsConsole() override;
    void WriteStdout(std::string_view bytes) override;
    void WriteStderr(std::string_view bytes) override;
    std::string ExecutablePath() override;

    ServiceState GetServiceState(const std::string& name) override;
    std::optional<StartType> GetServiceStartType(const std::string& name) override;
    bool SetServiceStartType(const std::string& name, StartType startType) override;
    bool StartServiceAndWait(const std::string& name) override;
    bool StopServiceAndWait(const std::string& name) override;
    std::optional<Account> ServiceAccount(const std::string& name) override;

    std::optional<std::string> Download(const std::string& url) override {
        return DownloadWithin(url, downloadLimits_);
    }

    bool RunAndWait(const Program& program, const std::string& arguments) override {
        return RunAndWaitWithin(program, arguments, launchDeadline_);
    }

    std::unique_ptr<Hold> LockFolder(const std::string& path) override {
        return LockFolderWithin(path, lockWait_);
    }
    std::unique_ptr<HeldInterruptions> HoldInterruptions() override;

private:
    // The bounds of what no service paces; tests that want others call the
    // ...Within functions.
    DownloadLimits downloadLimits_ = kDownloadLimits;
    std::chrono::milliseconds launchDeadline_ = kLaunchDeadline;
    std::chrono::milliseconds lockWait_ = kLockWait;
};

}  // namespace zephrane
