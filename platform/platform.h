// The seam between the portable tool (app/, config/, io/) and the operating
// system. Everything the tool needs from the system goes through `Platform`;
// the Win32 and POSIX backends implement it, tests substitute a fake. Each
// operation says here what failure looks like and who owns what, so that a
// caller never has to open a backend to learn a rule.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zephrane {

// Values that differ between the two builds. Every message, file text and
// order is the same in both; only these change.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr std::string_view kLineEnd = "\r\n";
inline constexpr std::string_view kKeyGeneratorName = "rndc-confgen.exe";
inline constexpr bool kHasDriveMark = true;  // "C:" ends a path prefix
#else
inline constexpr char kPathSeparator = '/';
inline constexpr std::string_view kLineEnd = "\n";
inline constexpr std::string_view kKeyGeneratorName = "rndc-confgen";
inline constexpr bool kHasDriveMark = false;
#endif

// Local wall-clock time, read once (date and time always belong together).
struct LocalTime {
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
};

// Service states by their Windows numbers; the two below 1 are the tool's own.
enum class ServiceState : int {
    Unknown = 0,  // the state could not be learned (no access, manager unavailable)
    Absent = -1,  // there is no such service
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
    ContinuePending = 5,
    PausePending = 6,
    Paused = 7,
};

// Start types by their Windows numbers (POSIX: enabled and disabled units).
// The tool sets the two in the middle; the others it only reads and puts back.
enum class StartType : int { Boot = 0, System = 1, Automatic = 2, OnDemand = 3, Disabled = 4 };

// An account that may use what a run creates besides the administrators: a
// Windows SID in string form, or a POSIX group number. Empty: nobody.
struct Account {
    std::string id;
};

// Who may read a file created in a configuration folder.
enum class FileAccess {
    Secret,       // administrators only (POSIX: 0600, this account)
    ServerReads,  // and the folder's account, to read (POSIX: 0640 with its group; 0600 without)
    Plain,        // whoever may enter the folder (POSIX: 0644; Windows: what the folder passes on)
};

// An open file. Failures the tool does not test for throw RunError (an I/O
// error with the Windows system code; POSIX translates errno); the
// destructor closes without throwing.
class File {
public:
    virtual ~File() = default;
    // One system write; returns how many bytes were written.
    virtual std::size_t Write(const char* data, std::size_t size) = 0;
    // One system read; 0 at the end of the file.
    virtual std::size_t Read(char* data, std::size_t size) = 0;
    // Closes the file. What was written has reached the disk first.
    virtual void Close() = 0;
};

// A folder opened once: files are created in it and read from it by name,
// never through a link, so that a folder or link swapped in under its path
// cannot redirect them. Failures other than those stated throw RunError.
class Folder {
public:
    virtual ~Folder() = default;
    // Creates `name`, which must not exist: nullptr when the name is taken
    // (by a file, a folder, a link or a device), nothing is opened then.
    virtual std::unique_ptr<File> CreateFile(const std::string& name, FileAccess access) = 0;
    // Opens `name` for reading if it is a plain file with one link, owned by
    // an account the installation check trusts (root or this account;
    // Windows: SYSTEM, Administrators, TrustedInstaller or this account), as
    // the open file shows: nullptr for anything else, a missing file included.
    virtual std::unique_ptr<File> OpenFile(const std::string& name) = 0;
    // Removes the entry `name` (a link itself, never its target).
    virtual bool DeleteFile(const std::string& name) = 0;
    // The folder's entries reach the disk (POSIX; Windows journals them).
    virtual void Sync() = 0;
    // Lets the server account given to OpenFolder in: it may read the folder
    // and create and change its own files there, but not remove or replace
    // ours (POSIX: 01770 with its group, 0700 without; Windows: an entry
    // without the right to delete others' files). The entries reach the disk.
    virtual void Share() = 0;
};

// Something held until it is destroyed.
class Hold {
public:
    virtual ~Hold() = default;
};

// A program checked and held by Platform::HoldProtectedProgram, to be run.
class Program : public Hold {};

// Interruptions held until destroyed: they end nothing meanwhile, and the
// holder asks whether one came.
class HeldInterruptions : public Hold {
public:
    // Whether an interruption came since the hold began. What came is
    // consumed when the hold ends: the holder has answered it.
    virtual bool Requested() = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Registry: the string value `value` of key `key` below HKEY_LOCAL_MACHINE
    // (`key` written with '\' separators, as in "\Software\ISC\BIND\"), from
    // the 64-bit view, else from the 32-bit view where 32-bit programs record
    // it. Absent key or value read as empty; string and expandable-string
    // values are taken unexpanded up to the first NUL; any other type, in the
    // first view that has the value, throws the ERegistryException RunError.
    virtual std::string ReadRegistryString(const std::string& key, const std::string& value) = 0;

    // File system by path. Each reports through its result; what throws says so.
    virtual bool DirectoryExists(const std::string& path) = 0;
    // True for an entry that is no folder and whose last-write time, as local
    // time, is a DOS date and time (1980 to 2107), as the Windows file search
    // reports entries. A path ending with a separator gives false.
    virtual bool FileExists(const std::string& path) = 0;
    // The folder or the program at `path`, if only administrators (and this
    // account) can change it and every folder above it, up to the root of
    // its file system (from the working folder for a relative path): the
    // tool runs what the folder holds with administrator rights. Each is
    // checked once and held until destroyed, so that none can be swapped
    // meanwhile; nullptr when one is missing or others may change it.
    // POSIX: each owned by root or this account and writable by no group
    // but root's and by no others, except that a folder above may be sticky
    // (as /tmp) where the entry below it is root's or ours; no links on the
    // way; a program is an executable plain file. Windows: the owner, and
    // everyone the access rules let change the object, must be SYSTEM,
    // Administrators, TrustedInstaller or this account; of a folder above,
    // only who may delete, rename or replace what it holds counts; an entry
    // of a kind the check does not know counts as anybody's.
    virtual std::unique_ptr<Hold> HoldProtectedFolder(const std::string& path) = 0;
    virtual std::unique_ptr<Program> HoldProtectedProgram(const std::string& path) = 0;
    // Creates one folder, for administrators only.
    // POSIX (this, RenameFile and RemoveFolder): the parent's entries reach
    // the disk; when they cannot, the change is made and the I/O error
    // RunError thrown.
    virtual bool CreateDirectory(const std::string& path) = 0;
    // Never replaces an existing `newPath`.
    virtual bool RenameFile(const std::string& oldPath, const std::string& newPath) = 0;
    // Removes the folder at `path` if it is empty; never a link's target.
    virtual bool RemoveFolder(const std::string& path) = 0;
    // Opens the folder at `path` once and makes it administrators' only
    // (POSIX: 0700; Windows: SYSTEM and Administrators, nothing inherited)
    // until Folder::Share; files created in it are for `server` as their
    // FileAccess says. nullptr when `path` is a link or reparse point, not a
    // folder, or (POSIX) not owned by this account.
    virtual std::unique_ptr<Folder> OpenFolder(const std::string& path, const Account& server) = 0;

    // Clock and pauses.
    virtual LocalTime Now() = 0;
    virtual void Sleep(unsigned milliseconds) = 0;

    // Console.
    virtual bool StdoutIsConsole() = 0;
    virtual void WriteStdout(std::string_view bytes) = 0;
    virtual void WriteStderr(std::string_view bytes) = 0;
    // Full path of the running executable, as the system reports it.
    virtual std::string ExecutablePath() = 0;

    // Services. Each change ends: within a bounded wait (no progress for
    // longer than the service's wait hint and at least 2 s is failure, the
    // whole change takes at most 120 s); a service already in the wanted
    // state is left alone. A service in the middle of another change is let
    // finish it before it is asked. POSIX: through the systemctl on PATH
    // (empty and relative entries skipped): none there is Absent; one that
    // anybody but root may change is never run, and the state is Unknown.
    virtual ServiceState GetServiceState(const std::string& name) = 0;
    // nullopt when it cannot be read, and POSIX: for a unit neither enabled
    // nor disabled (static, masked, ...).
    virtual std::optional<StartType> GetServiceStartType(const std::string& name) = 0;
    virtual bool SetServiceStartType(const std::string& name, StartType startType) = 0;
    virtual bool StartServiceAndWait(const std::string& name) = 0;
    virtual bool StopServiceAndWait(const std::string& name) = 0;
    // The account service `name` runs as, for its files. Windows: its logon
    // account (LocalSystem, an account that cannot be resolved, and a
    // service that does not exist: nobody). POSIX: services drop to an
    // account their unit does not name, so it is the first of `groups` that
    // exists here, else nobody.
    virtual Account ServiceAccount(const std::string& name, const std::vector<std::string>& groups) = 0;

    // HTTP GET of `url` through the system's proxy settings, never from a
    // cache: the body of a complete answer with status 200, at most 1 MiB.
    // nullopt for anything else, and after 30 s without a connection, 60 s
    // without a byte or 120 s in all.
    virtual std::optional<std::string> Download(const std::string& url) = 0;

    // Starts the held `program` itself (POSIX: from its open file) with
    // `arguments`, split by the command-line word rules, in the program's
    // folder, and waits on the process until it exits, at most 120 s: a
    // program still running then is ended, and the result is false. True
    // when it ran and exited by itself, whatever its exit code. Shows no
    // error dialog.
    virtual bool RunAndWait(const Program& program, const std::string& arguments) = 0;

    // One run at a time per folder: waits while another process holds
    // `path`, at most 10 minutes; nullptr then. Held until destroyed (and
    // by no process that has ended). Only administrators (POSIX: root) can
    // take or hold it, so nobody else can make a run wait; a caller that
    // cannot take it gets nullptr at once. Windows: a hidden file
    // "zephrane.lock" in the folder while it is held.
    virtual std::unique_ptr<Hold> LockFolder(const std::string& path) = 0;
    // Until destroyed, Ctrl+C, Ctrl+Break, closing the console and
    // termination requests wait (POSIX: SIGINT, SIGTERM, SIGHUP and SIGQUIT
    // are blocked; Windows: a console handler takes them, and holds a close
    // as long as the system lets it). The kernel's kill cannot wait.
    virtual std::unique_ptr<HeldInterruptions> HoldInterruptions() = 0;
};

// The real system of this build.
std::unique_ptr<Platform> CreateSystemPlatform();

// The words of the process command line after the program name.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Lower-casing by the ANSI code page's rules (CharLowerBuffA on Windows,
// a Windows-1252 fold on POSIX).
std::string AnsiLowerCase(std::string text);

// Converts an ANSI text for the error stream (OEM code page on Windows,
// UTF-8 on POSIX).
std::string AnsiToErrorConsole(const std::string& text);

}  // namespace zephrane
