#include "platform/system_platform.h"
#include "platform/win32/win32_api.h"

namespace zephrane {

std::unique_ptr<Platform> CreateSystemPlatform() {
    // Whatever is loaded later (WinInet, what the shell loads) comes from
    // System32, never from the program's folder. Looked up, not imported: a
    // Windows 7 without KB2533623 lacks it and would not start the tool at
    // all; there WinInet, which asks for System32 alone, does not load either.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault != nullptr) {
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    return std::make_unique<SystemPlatform>();
}

}  // namespace zephrane
