#include "platform/win32/win32_api.h"

#include "platform/run_error.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

// Releases the key on every path, the error path included.
class OpenKey {
public:
    explicit OpenKey(HKEY key) : key_(key) {}
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() { RegCloseKey(key_); }
    HKEY Get() const { return key_; }

private:
    HKEY key_;
};

}  // namespace

std::string SystemPlatform::ReadRegistryString(const std::string& key, const std::string& value) {
    // The leading '\' means "from the root key"; RegOpenKeyExA refuses it.
    const std::string subKey = (!key.empty() && key.front() == '\\') ? key.substr(1) : key;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return {};
    }
    const OpenKey opened(handle);

    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(opened.Get(), value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) {
        return {};
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        ThrowRegistryTypeError(value);
    }
    std::string data(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(opened.Get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
        ERROR_SUCCESS) {
        return {};
    }
    data.resize(got);
    return data.substr(0, data.find('\0'));
}

}  // namespace zephrane
