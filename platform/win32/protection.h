// Who the tool trusts with what it runs or reads as administrator: SYSTEM,
// the Administrators, TrustedInstaller and the account it runs as; judged
// from an owner and access rules already read.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace zephrane {

// Rights that change an object: write it, delete it, change its rules.
inline constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                       FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                       GENERIC_ALL;
// Of a folder above: what lets one move, remove or replace what it holds
// (adding new names does not), or take the folder over.
inline constexpr DWORD kAboveRights = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

// True when nobody but the trusted accounts holds `rights` over what
// `owner` and `dacl` guard. No rules at all (a null `dacl`) let everyone do
// everything, and the owner may always change the rules.
bool OnlyTrustedMayChange(PSID owner, const ACL* dacl, DWORD rights = kChangeRights);

// Whether the object open as `handle` (with READ_CONTROL) is owned by one of them.
bool HasTrustedOwner(HANDLE handle);

// A program held for RunAndWait: its path, and it and every folder above it
// open without delete sharing.
class Win32Program final : public Program {
public:
    Win32Program(std::string path, std::vector<KernelHandle> held) : path_(std::move(path)), held_(std::move(held)) {}
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::vector<KernelHandle> held_;
};

}  // namespace zephrane
