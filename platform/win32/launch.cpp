#include "platform/win32/win32_api.h"

#include <shellapi.h>

#include "platform/launch.h"
#include "platform/paths.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

class ProcessHandle {
public:
    explicit ProcessHandle(HANDLE handle) : handle_(handle) {}
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    ~ProcessHandle() { CloseHandle(handle_); }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

DWORD WaitMilliseconds(std::chrono::milliseconds deadline) {
    if (deadline.count() <= 0) {
        return 0;
    }
    constexpr long long kLongest = INFINITE - 1;  // INFINITE itself means no deadline
    return static_cast<DWORD>(deadline.count() >= kLongest ? kLongest : deadline.count());
}

}  // namespace

bool RunAndWaitWithin(const std::string& program, const std::string& arguments, std::chrono::milliseconds deadline) {
    const std::string folder = ExtractFilePath(program);
    SHELLEXECUTEINFOA launch{};
    launch.cbSize = sizeof launch;
    launch.fMask = SEE_MASK_NOCLOSEPROCESS;
    launch.hwnd = nullptr;
    launch.lpVerb = nullptr;  // the default action, which runs an executable
    launch.lpFile = program.c_str();
    launch.lpParameters = arguments.c_str();
    launch.lpDirectory = folder.c_str();
    launch.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&launch)) {
        return false;
    }
    // The shell may hand the file to a program that already runs, leaving no
    // process of ours to wait for.
    if (launch.hProcess == nullptr) {
        return true;
    }
    const ProcessHandle process(launch.hProcess);
    // Waiting on the handle, not polling the exit code, so an exit code of
    // STILL_ACTIVE (259) is not taken for a running program.
    if (WaitForSingleObject(process.Get(), WaitMilliseconds(deadline)) == WAIT_OBJECT_0) {
        return true;
    }
    TerminateProcess(process.Get(), 1);
    // Once it has ended it no longer writes to its key file.
    WaitForSingleObject(process.Get(), INFINITE);
    return false;
}

bool SystemPlatform::RunAndWait(const std::string& program, const std::string& arguments) {
    return FileExists(program) && RunAndWaitWithin(program, arguments, kLaunchDeadline);
}

}  // namespace zephrane
