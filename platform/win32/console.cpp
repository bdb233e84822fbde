#include "platform/win32/win32_api.h"

#include "platform/system_platform.h"
#include "platform/words.h"

namespace zephrane {
namespace {

void WriteAll(DWORD which, std::string_view bytes) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) {
            return;  // nobody is listening; the run goes on regardless
        }
        bytes.remove_prefix(written);
    }
}

}  // namespace

bool SystemPlatform::StdoutIsConsole() { return GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR; }

void SystemPlatform::WriteStdout(std::string_view bytes) { WriteAll(STD_OUTPUT_HANDLE, bytes); }

void SystemPlatform::WriteStderr(std::string_view bytes) { WriteAll(STD_ERROR_HANDLE, bytes); }

std::string SystemPlatform::ExecutablePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD size = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (size == 0) {
            return {};
        }
        if (size < path.size()) {
            path.resize(size);
            return path;
        }
        path.resize(path.size() * 2);  // truncated: try a larger buffer
    }
}

std::vector<std::string> CommandLineArguments(int, char**) {
    std::vector<std::string> words = SplitWords(GetCommandLineA());
    if (!words.empty()) {
        words.erase(words.begin());  // the program, never an option
    }
    return words;
}

}  // namespace zephrane
