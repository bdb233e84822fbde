#include "platform/win32/sddl.h"

namespace zephrane {
namespace {

// Full control for the system and the administrators, inherited by what the
// folder holds when `inherit` is set.
std::string Administrators(bool inherit) {
    const std::string flags = inherit ? "OICI" : "";
    return "D:P(A;" + flags + ";FA;;;SY)(A;" + flags + ";FA;;;BA)";
}

// Read, write, execute and delete: "modify" in the Explorer's words; for the
// folder itself the same without delete, so that the server cannot remove
// or rename the folder it is let into.
constexpr const char* kModify = "0x1301bf";
constexpr const char* kModifyButDelete = "0x1201bf";

}  // namespace

std::string NewFolderSddl() { return Administrators(true); }

std::string FolderSddl(const Account& server) {
    std::string sddl = Administrators(true);
    if (!server.id.empty()) {
        sddl += "(A;;" + std::string(kModifyButDelete) + ";;;" + server.id + ")(A;OICIIO;" + kModify + ";;;" +
                server.id + ")";
    }
    return sddl;
}

std::string FileSddl(FileAccess access, const Account& server) {
    switch (access) {
    case FileAccess::Secret: return Administrators(false);
    case FileAccess::ServerReads:
        return Administrators(false) + (server.id.empty() ? "" : "(A;;FR;;;" + server.id + ")");
    case FileAccess::Plain: return {};
    }
    return Administrators(false);
}

}  // namespace zephrane
