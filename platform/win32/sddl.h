// The access rules of what a run creates, as security descriptor strings:
// SYSTEM and Administrators full control, the name server's account only
// what it needs, nobody else anything; protected, so that nothing is
// inherited from the folders above (under Program Files every user may read).
#pragma once

#include <string>

#include "platform/platform.h"

namespace zephrane {

// A new folder before it is opened: administrators only.
std::string NewFolderSddl();
// The opened configuration folder: `server` may change what it holds (it
// writes its managed keys and journals there) but not delete the folder
// itself; every entry is inherited by new files.
std::string FolderSddl(const Account& server);
// A created file; empty for FileAccess::Plain, which takes the folder's entries.
std::string FileSddl(FileAccess access, const Account& server);

}  // namespace zephrane
