#include "platform/win32/win32_api.h"

#include "platform/run_error.h"
#include "platform/system_platform.h"
#include "platform/win32/handles.h"

namespace zephrane {

std::string SystemPlatform::ReadRegistryString(const std::string& key, const std::string& value) {
    // The leading '\' means "from the root key"; RegOpenKeyExA refuses it.
    const std::string subKey = (!key.empty() && key.front() == '\\') ? key.substr(1) : key;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return {};
    }
    const RegistryKey opened(handle);  // released on every path, the error path included

    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(opened.get(), value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) {
        return {};
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        ThrowRegistryTypeError(value);
    }
    std::string data(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(opened.get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
        ERROR_SUCCESS) {
        return {};
    }
    data.resize(got);
    return data.substr(0, data.find('\0'));
}

}  // namespace zephrane
