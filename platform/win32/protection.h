// Who may change a folder or program the tool runs as administrator, judged
// from an owner and access rules already read.
#pragma once

#include "platform/win32/win32_api.h"

namespace zephrane {

// True when nobody but the system, the administrators, Windows' installer
// and the account this runs as may write, delete or change the rules of what
// `owner` and `dacl` guard. No rules at all (a null `dacl`) let everyone do
// everything, and the owner may always change the rules.
bool OnlyTrustedMayChange(PSID owner, const ACL* dacl);

}  // namespace zephrane
