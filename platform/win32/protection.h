// Who the tool trusts with what it runs or reads as administrator: SYSTEM,
// the Administrators, TrustedInstaller and the account it runs as.
#pragma once

#include "platform/win32/win32_api.h"

namespace zephrane {

// Whether the object open as `handle` (with READ_CONTROL) is owned by one of them.
bool HasTrustedOwner(HANDLE handle);

}  // namespace zephrane
