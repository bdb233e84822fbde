#include "platform/win32/win32_api.h"

#include "platform/run_error.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

class Win32File final : public File {
public:
    explicit Win32File(HANDLE handle) : handle_(handle) {}
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;
    ~Win32File() override {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }

    std::size_t Write(const char* data, std::size_t size) override {
        DWORD written = 0;
        if (!WriteFile(handle_, data, static_cast<DWORD>(size), &written, nullptr)) {
            ThrowIoError(GetLastError());
        }
        return written;
    }

    std::size_t Read(char* data, std::size_t size) override {
        DWORD got = 0;
        if (!ReadFile(handle_, data, static_cast<DWORD>(size), &got, nullptr)) {
            ThrowIoError(GetLastError());
        }
        return got;
    }

    void Close() override {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        if (!CloseHandle(handle)) {
            ThrowIoError(GetLastError());
        }
    }

private:
    HANDLE handle_;
};

}  // namespace

bool SystemPlatform::DirectoryExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return !path.empty() && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool SystemPlatform::FileExists(const std::string& path) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    // An entry counts only when its time can be given as a DOS date and time.
    FILETIME local;
    WORD dosDate = 0;
    WORD dosTime = 0;
    return FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) && FileTimeToDosDateTime(&local, &dosDate, &dosTime);
}

bool SystemPlatform::CreateDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool SystemPlatform::RenameFile(const std::string& oldPath, const std::string& newPath) {
    return MoveFileA(oldPath.c_str(), newPath.c_str()) != 0;
}

bool SystemPlatform::DeleteFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

std::unique_ptr<File> SystemPlatform::OpenFile(const std::string& path, FileMode mode) {
    DWORD access = GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ;
    DWORD disposition = CREATE_ALWAYS;
    switch (mode) {
    case FileMode::ReadText:
        access = GENERIC_READ;
        disposition = OPEN_EXISTING;
        break;
    case FileMode::WriteText:
    case FileMode::WriteTextPrivate:  // the folder's access rules protect the key
        break;
    case FileMode::WriteBinary:
        access = GENERIC_READ | GENERIC_WRITE;
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    }
    const HANDLE handle =
        CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ThrowIoError(GetLastError());
    }
    return std::make_unique<Win32File>(handle);
}

}  // namespace zephrane
