#include "platform/win32/win32_api.h"

#include <shellapi.h>

#include "platform/launch.h"
#include "platform/paths.h"
#include "platform/win32/console_close.h"
#include "platform/win32/handles.h"
#include "platform/win32/protection.h"

namespace zephrane {
namespace {

DWORD WaitMilliseconds(std::chrono::milliseconds deadline) {
    if (deadline.count() <= 0) {
        return 0;
    }
    constexpr long long kLongest = INFINITE - 1;  // INFINITE itself means no deadline
    return static_cast<DWORD>(deadline.count() >= kLongest ? kLongest : deadline.count());
}

}  // namespace

bool RunAndWaitWithin(const Program& held, const std::string& arguments, std::chrono::milliseconds deadline) {
    // Held without delete sharing: its path still leads to it.
    const std::string& program = static_cast<const Win32Program&>(held).Path();
    const std::string folder = ExtractFilePath(program);
    SHELLEXECUTEINFOA launch{};
    launch.cbSize = sizeof launch;
    // No dialog may wait for a person (an unstartable program, the mark of a
    // downloaded file): the run is unattended.
    launch.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;
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
    const KernelHandle process(launch.hProcess);
    // Waiting on the handle, not polling the exit code, so an exit code of
    // STILL_ACTIVE (259) is not taken for a running program. A console
    // closed meanwhile ends it too.
    if (WaitUnlessClosed(process.get(), WaitMilliseconds(deadline))) {
        return true;
    }
    TerminateProcess(process.get(), 1);
    // Once it has ended it no longer writes to its key file; a process stuck
    // in the kernel may not end at all, and the run goes on regardless.
    WaitUnlessClosed(process.get(), WaitMilliseconds(kEndingGrace));
    return false;
}


}  // namespace zephrane
