// The real system of this build. Each backend (win32/ or posix/) implements
// these operations, spread over one file per concern.
#pragma once

#include "platform/platform.h"

namespace zephrane {

class SystemPlatform final : public Platform {
public:
    std::string ReadRegistryString(const std::string& key, const std::string& value) override;

    bool DirectoryExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool CreateDirectory(const std::string& path) override;
    bool RenameFile(const std::string& oldPath, const std::string& newPath) override;
    bool DeleteFile(const std::string& path) override;
    std::unique_ptr<File> OpenFile(const std::string& path, FileMode mode) override;

    LocalTime Now() override;
    void Sleep(unsigned milliseconds) override;

    bool StdoutIsConsole() override;
    void WriteStdout(std::string_view bytes) override;
    void WriteStderr(std::string_view bytes) override;
    std::string ExecutablePath() override;

    int GetServiceState(const std::string& name) override;
    bool SetServiceStartType(const std::string& name, int startType) override;
    bool StartServiceAndWait(const std::string& name) override;
    bool StopServiceAndWait(const std::string& name) override;

    bool DownloadFile(const std::string& url, const std::string& destPath) override;

    bool RunAndWait(const std::string& program, const std::string& arguments) override;
};

}  // namespace zephrane
