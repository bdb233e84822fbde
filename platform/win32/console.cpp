#include "platform/win32/win32_api.h"

#include "platform/console.h"
#include "platform/system_platform.h"
#include "platform/words.h"

namespace zephrane {

std::size_t WriteOnce(StandardStream stream, std::string_view bytes) {
    const HANDLE handle = GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD written = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        return 0;
    }
    return written;
}

bool SystemPlatform::StdoutIsConsole() { return GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR; }

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
