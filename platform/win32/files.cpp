#include "platform/win32/win32_api.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>

#include "platform/paths.h"
#include "platform/run_error.h"
#include "platform/system_platform.h"
#include "platform/win32/console_close.h"
#include "platform/win32/handles.h"
#include "platform/win32/protection.h"
#include "platform/win32/sddl.h"

namespace zephrane {
namespace {

// A security descriptor made from its string form; none for an empty one.
class SecurityAttributes {
public:
    explicit SecurityAttributes(const std::string& sddl) {
        if (!sddl.empty() && !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                                  &descriptor_, nullptr)) {
            ThrowIoError(GetLastError());
        }
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    SecurityAttributes(const SecurityAttributes&) = delete;
    SecurityAttributes& operator=(const SecurityAttributes&) = delete;
    ~SecurityAttributes() { LocalFree(descriptor_); }

    SECURITY_ATTRIBUTES* Get() { return descriptor_ != nullptr ? &attributes_ : nullptr; }
    PACL Dacl() const {
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        GetSecurityDescriptorDacl(descriptor_, &present, &dacl, &defaulted);
        return dacl;
    }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

class Win32File final : public File {
public:
    Win32File(HANDLE handle, bool written) : handle_(handle), written_(written) {}

    std::size_t Write(const char* data, std::size_t size) override {
        DWORD written = 0;
        if (!WriteFile(handle_.get(), data, static_cast<DWORD>(size), &written, nullptr)) {
            ThrowIoError(GetLastError());
        }
        return written;
    }

    std::size_t Read(char* data, std::size_t size) override {
        DWORD got = 0;
        if (!ReadFile(handle_.get(), data, static_cast<DWORD>(size), &got, nullptr)) {
            ThrowIoError(GetLastError());
        }
        return got;
    }

    void Close() override {
        // A configuration that named starts with must survive a power cut.
        if (written_ && !FlushFileBuffers(handle_.get())) {
            ThrowIoError(GetLastError());
        }
        if (!CloseHandle(handle_.release())) {
            ThrowIoError(GetLastError());
        }
    }

private:
    KernelHandle handle_;
    bool written_;
};

BY_HANDLE_FILE_INFORMATION Information(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        info.dwFileAttributes = INVALID_FILE_ATTRIBUTES;
    }
    return info;
}

// Sets the access rules of the object `handle`, protected: nothing is
// inherited from the folders above.
void Protect(HANDLE handle, const std::string& sddl) {
    SecurityAttributes security(sddl);
    const DWORD result = SetSecurityInfo(handle, SE_FILE_OBJECT,
                                         DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, security.Dacl(), nullptr);
    if (result != ERROR_SUCCESS) {
        ThrowIoError(result);
    }
}

// How long a rename or removal is tried again while others hold the folder,
// and the first pause, which doubles each time.
constexpr DWORD kHeldRetryMs = 10000;
constexpr DWORD kFirstRetryPauseMs = 50;

// `change` (a system call that sets the last error), tried again while
// another process holds the folder or something in it: a scanner opens new
// files for a moment, a backup agent or named's lingering handle for
// longer. NTFS refuses a folder's rename or removal meanwhile.
template <typename Change>
bool Retried(Change change) {
    DWORD waited = 0;
    for (DWORD pause = kFirstRetryPauseMs;; pause *= 2) {
        if (change()) {
            return true;
        }
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
        if (!held || waited >= kHeldRetryMs || !MayWait()) {
            return false;
        }
        pause = std::min(pause, kHeldRetryMs - waited);
        WaitUnlessClosed(nullptr, pause);
        waited += pause;
    }
}

// Whether the folder at `path` holds any entry besides "." and "..".
bool HoldsEntries(const std::string& path) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((StripTrailingSeparator(path) + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool entries = false;
    do {
        entries = std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0;
    } while (!entries && FindNextFileA(search, &found));
    FindClose(search);
    return entries;
}

bool IsReparsePoint(DWORD attributes) {
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

class Win32Folder final : public Folder {
public:
    Win32Folder(HANDLE handle, std::string path, Account server)
        : handle_(handle), path_(std::move(path)), server_(std::move(server)) {}

    std::unique_ptr<File> CreateFile(const std::string& name, FileAccess access) override {
        SecurityAttributes security(FileSddl(access, server_));
        const std::string path = path_ + name;
        // CREATE_NEW never opens what is there, a reparse point included.
        const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, security.Get(), CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            // A folder in the way answers "access denied".
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
                return nullptr;
            }
            ThrowIoError(error);
        }
        return std::make_unique<Win32File>(handle, true);
    }

    std::unique_ptr<File> OpenFile(const std::string& name) override {
        const HANDLE handle = ::CreateFileA((path_ + name).c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            // A folder in the way answers "access denied".
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED) {
                return nullptr;
            }
            ThrowIoError(error);
        }
        auto file = std::make_unique<Win32File>(handle, false);
        // Only a plain file of ours, and not under a second name that could
        // lead others to what it holds.
        const BY_HANDLE_FILE_INFORMATION info = Information(handle);
        if (IsReparsePoint(info.dwFileAttributes) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            GetFileType(handle) != FILE_TYPE_DISK || info.nNumberOfLinks != 1 || !HasTrustedOwner(handle)) {
            return nullptr;
        }
        return file;
    }

    bool DeleteFile(const std::string& name) override { return DeleteFileA((path_ + name).c_str()) != 0; }

    void Sync() override {}

    void Share() override { Protect(handle_.get(), FolderSddl(server_)); }

private:
    KernelHandle handle_;  // open without delete sharing: nobody renames the folder meanwhile
    std::string path_;
    Account server_;
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

bool SystemPlatform::CreateFolder(const std::string& path) {
    SecurityAttributes security(NewFolderSddl());
    return CreateDirectoryA(path.c_str(), security.Get()) != 0;
}

bool SystemPlatform::RenameFolder(const std::string& oldPath, const std::string& newPath) {
    return Retried([&] { return MoveFileA(oldPath.c_str(), newPath.c_str()) != 0; });
}

// A junction or link in its place is removed itself, never what it points to.
bool SystemPlatform::RemoveFolder(const std::string& path) {
    return Retried([&] {
        if (RemoveDirectoryA(path.c_str()) != 0) {
            return true;
        }
        // Held and not empty: no wait would make it removable.
        const DWORD error = GetLastError();
        SetLastError(HoldsEntries(path) ? ERROR_DIR_NOT_EMPTY : error);
        return false;
    });
}

std::unique_ptr<Folder> SystemPlatform::OpenFolder(const std::string& path, const Account& server) {
    const HANDLE handle = ::CreateFileA(StripTrailingSeparator(path).c_str(),
                                      FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    KernelHandle folder(handle);
    const DWORD attributes = Information(handle).dwFileAttributes;
    if (IsReparsePoint(attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return nullptr;  // a junction or link where the folder belongs
    }
    // Ours alone until Share: nobody may plant what the run is to create.
    Protect(handle, NewFolderSddl());
    return std::make_unique<Win32Folder>(folder.release(), StripTrailingSeparator(path) + kPathSeparator, server);
}

}  // namespace zephrane
