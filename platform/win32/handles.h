// Owners for the Win32 handles the backend opens, so that each is closed
// exactly once on every path.
#pragma once

#include <memory>
#include <type_traits>

#include "platform/win32/win32_api.h"

namespace zephrane {

template <auto Close>
struct HandleCloser {
    template <typename Handle>
    void operator()(Handle handle) const {
        Close(handle);
    }
};

// Empty (null) when the call that should have opened it failed.
template <typename Handle, auto Close>
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<Handle>, HandleCloser<Close>>;

using KernelHandle = UniqueHandle<HANDLE, CloseHandle>;
using ServiceHandle = UniqueHandle<SC_HANDLE, CloseServiceHandle>;
using RegistryKey = UniqueHandle<HKEY, RegCloseKey>;

}  // namespace zephrane
