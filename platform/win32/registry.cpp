#include "platform/win32/win32_api.h"

#include <optional>

#include "platform/run_error.h"
#include "platform/system_platform.h"
#include "platform/win32/handles.h"

namespace zephrane {
namespace {

// The value in one view of the registry; nullopt when the key does not open
// or the value is absent or empty there.
std::optional<std::string> ReadView(const std::string& subKey, const std::string& value, REGSAM view) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const RegistryKey opened(handle);  // released on every path, the error path included

    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(opened.get(), value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) {
        return std::nullopt;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        ThrowRegistryTypeError(value);
    }
    std::string data(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(opened.get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(got);
    data.resize(data.find('\0') == std::string::npos ? data.size() : data.find('\0'));
    return data.empty() ? std::nullopt : std::optional<std::string>(data);
}

}  // namespace

std::string SystemPlatform::ReadRegistryString(const std::string& key, const std::string& value) {
    // The leading '\' means "from the root key"; RegOpenKeyExA refuses it.
    const std::string subKey = (!key.empty() && key.front() == '\\') ? key.substr(1) : key;
    // A 32-bit installation on 64-bit Windows records its values in the
    // 32-bit view, which this 64-bit program does not see by default.
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        if (std::optional<std::string> found = ReadView(subKey, value, view)) {
            return *found;
        }
    }
    return {};
}

}  // namespace zephrane
