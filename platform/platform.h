// The seam between the portable tool (app/, config/, io/) and the operating
// system: everything the tool needs from the system is declared here, as
// `Platform` and the free functions at the end. The Win32 and POSIX
// backends implement it; tests substitute their own Folder and File. Each
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
// The named.conf statement for the root's trust anchors: BIND on Windows
// (9.16 and older) reads this one; 9.11 knows no other.
inline constexpr std::string_view kTrustAnchorsStatement = "managed-keys";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr std::string_view kLineEnd = "\n";
inline constexpr std::string_view kKeyGeneratorName = "rndc-confgen";
inline constexpr bool kHasDriveMark = false;
// BIND 9.16 and later; 9.21 refuses the older name.
inline constexpr std::string_view kTrustAnchorsStatement = "trust-anchors";
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

// Start types by their Windows numbers. The tool sets the two in the middle;
// the others it only reads and puts back. POSIX knows only those two: an
// enabled unit starts automatically, a disabled one on demand.
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
    Plain,        // no rules of its own (POSIX: 0644, anybody; Windows: what the folder passes on)
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
// cannot redirect them (POSIX: in the open folder itself; Windows: by its
// path, which leads nowhere else while the folder is open without delete
// sharing). Failures other than those stated throw RunError.
class Folder {
public:
    virtual ~Folder() = default;
    // Creates `name`, which must not exist, with the rules `access` says:
    // nullptr when the name is taken (by a file, a folder, a link or a
    // device), nothing is opened then.
    virtual std::unique_ptr<File> CreateFile(const std::string& name, FileAccess access) = 0;
    // Opens `name` for reading if it is a plain file with one link, owned by
    // an account the installation check trusts (root or this account;
    // Windows: SYSTEM, Administrators, TrustedInstaller or this account), as
    // the open file shows: nullptr for anything else that is there, and for
    // a missing name (Windows: also for one it may not open).
    virtual std::unique_ptr<File> OpenFile(const std::string& name) = 0;
    // Removes the entry `name` (a link itself, never its target); false when
    // it could not.
    virtual bool DeleteFile(const std::string& name) = 0;
    // The folder's entries reach the disk (POSIX; Windows journals them).
    virtual void Sync() = 0;
    // Lets the server account given to OpenFolder in: it may read the folder
    // and create and change its own files there. POSIX: 01770 with its group
    // (0700 without), so that it cannot remove or replace ours; the entries
    // reach the disk. Windows: an entry that the folder passes on, without
    // the right to delete others' entries through the folder; the files
    // created FileAccess::Plain take it too, so it may change and remove
    // those, not the others.
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
// holder asks whether one came. One hold at a time.
class HeldInterruptions : public Hold {
public:
    // Whether an interruption came since the hold began. What came is
    // consumed when the hold ends: the holder has answered it.
    virtual bool Requested() = 0;
    // The holder begins to answer: it undoes what it changed. Windows ends
    // the process 5 s after the console is closed, so a close ends the wait
    // under way (the key generator is ended) and every wait after it at
    // once, until this is called; the waits after it (renames retried, a
    // service change) end 4 s after the close. POSIX: nothing.
    virtual void Answer() {}
};

class Platform {
public:
    virtual ~Platform() = default;

    // Registry: the string value `value` of key `key` below HKEY_LOCAL_MACHINE
    // (`key` written with '\' separators, as in "\Software\ISC\BIND\"),
    // taken unexpanded up to the first NUL. Absent key or value read as
    // empty; a value of another type than string throws RunError (a registry
    // value of the wrong type). Windows: from the 64-bit view, else (absent
    // or empty there) from the 32-bit view where 32-bit programs record it;
    // string and expandable-string values count, the type is judged in the
    // first view with a value that is not empty. POSIX: the content of the
    // file <root>/K/V for key K (its '\' turned into '/') and value V, where
    // <root> is $ZEPHRANE_REGISTRY, else /etc/zephrane/registry; one trailing
    // line end is not part of it. A value that anybody but root may change,
    // or in a folder that anybody but root may change (as HoldProtectedFolder
    // checks), and a link, read as empty; anything else but a plain file is
    // of another type.
    virtual std::string ReadRegistryString(const std::string& key, const std::string& value) = 0;

    // File system by path. Each reports through its result; what throws
    // says so.
    // True when `path` names a folder; false for an empty path.
    virtual bool DirectoryExists(const std::string& path) = 0;
    // True for an entry that is no folder and whose last-write time, as local
    // time, is a DOS date and time (1980 to 2107), as the Windows file search
    // reports entries. A path ending with a separator gives false.
    virtual bool FileExists(const std::string& path) = 0;
    // The folder or the program at `path`, if only administrators (and this
    // account) can change it and every folder above it, up to the root of
    // its file system: the tool runs what the folder holds with
    // administrator rights. nullptr when one is missing or others may change
    // it, and for a file system's root itself. A relative path: POSIX checks
    // from the working folder down; Windows refuses it.
    // Each is checked once and held until destroyed. Windows holds it and
    // every folder above it open without delete sharing, so that none can
    // be moved meanwhile. POSIX holds it and the folder above it open (a
    // program runs from that open file); only root could move them.
    // POSIX: each owned by root or this account and writable by no group
    // but root's and by no others, except that a folder above may be sticky
    // (as /tmp) where the entry below it is root's or ours; an entry with an
    // access list (POSIX, default or NFSv4, whatever it allows) counts as
    // writable by others; no links and no "." or ".." on the way; a program
    // is an executable plain file.
    // Windows: the owner, and everyone the access rules let change the
    // object, must be SYSTEM, Administrators, TrustedInstaller or this
    // account; of a folder above, only who may delete, rename or replace
    // what it holds counts; an entry of a kind the check does not know
    // counts as anybody's; no junctions or links on the way.
    virtual std::unique_ptr<Hold> HoldProtectedFolder(const std::string& path) = 0;
    virtual std::unique_ptr<Program> HoldProtectedProgram(const std::string& path) = 0;
    // Creates one folder, for administrators only (POSIX: 0700); false when
    // it cannot (it is there already, its parent is missing, ...).
    // POSIX (this, RenameFolder and RemoveFolder): the parent's entries reach
    // the disk; when they cannot, the change is made and RunError (an I/O
    // error) thrown.
    virtual bool CreateFolder(const std::string& path) = 0;
    // Moves the folder `oldPath` to `newPath` (the tool moves only folders:
    // etc, its backup, a failed etc), never over an existing `newPath`;
    // false when it cannot. Named without a trailing separator, a link in
    // the folder's place is moved itself. POSIX: the system's /etc is never
    // moved, under any name. Windows (this and RemoveFolder): while another
    // process holds the folder or something in it (a scanner, an indexer,
    // the server's account), tried again, backing off, for about 10 s.
    virtual bool RenameFolder(const std::string& oldPath, const std::string& newPath) = 0;
    // Removes the folder at `path` if it is empty; never a link's target
    // (Windows removes a link in its place itself; POSIX leaves it: false).
    virtual bool RemoveFolder(const std::string& path) = 0;
    // Opens the folder at `path` once and makes it administrators' only
    // (POSIX: 0700; Windows: SYSTEM and Administrators, nothing inherited)
    // until Folder::Share; files created in it are for `server` as their
    // FileAccess says. nullptr when `path` cannot be opened, is a link or
    // reparse point, is not a folder, or (POSIX) is not owned by this
    // account; RunError when its rules cannot be set.
    virtual std::unique_ptr<Folder> OpenFolder(const std::string& path, const Account& server) = 0;

    // Clock and pauses.
    virtual LocalTime Now() = 0;
    virtual void Sleep(unsigned milliseconds) = 0;

    // Console. Whether standard output is a console (a terminal), not a file
    // or a pipe.
    virtual bool StdoutIsConsole() = 0;
    // All of `bytes`, or as much as a reader takes: when nobody is listening
    // (no such stream, a closed pipe), the rest is dropped silently and the
    // run goes on.
    virtual void WriteStdout(std::string_view bytes) = 0;
    virtual void WriteStderr(std::string_view bytes) = 0;
    // Full path of the running executable, as the system reports it; empty
    // when it does not.
    virtual std::string ExecutablePath() = 0;

    // Services, by their Windows names. A change is true when the service
    // ends in the wanted state; one already there is left alone; the whole
    // change takes at most 120 s.
    // Windows: through the Service Control Manager. No progress (state or
    // checkpoint) for longer than the service's wait hint, and at least 2 s,
    // is failure; a service in the middle of another change is let finish it
    // before it is asked.
    // POSIX: systemd units, through the systemctl on PATH (empty and
    // relative entries skipped); the units and groups of the services the
    // tool knows are listed once, in platform/posix/services.cpp. No
    // systemctl there, or a system not booted with systemd: every service is
    // Absent. One that anybody but root may change is never run, and the
    // state is Unknown. A unit that does not load is Absent. systemctl waits
    // for each change itself, and systemd's own time-outs end a pending unit.
    virtual ServiceState GetServiceState(const std::string& name) = 0;
    // nullopt when it cannot be read, and POSIX: for a unit neither enabled
    // nor disabled (static, masked, ...).
    virtual std::optional<StartType> GetServiceStartType(const std::string& name) = 0;
    // POSIX: Automatic and OnDemand only (others give false), judged by the
    // unit file's state afterwards.
    virtual bool SetServiceStartType(const std::string& name, StartType startType) = 0;
    virtual bool StartServiceAndWait(const std::string& name) = 0;
    virtual bool StopServiceAndWait(const std::string& name) = 0;
    // The account service `name` runs as, for its files; nobody where there
    // is none to name. Windows: its logon account (LocalSystem and a service
    // that does not exist: nobody); nullopt for one that cannot be resolved
    // now (a domain account whose domain controller is out of reach).
    // POSIX: the first of the service's groups that exists here, else
    // nobody (a unit need not name the account its service drops to).
    virtual std::optional<Account> ServiceAccount(const std::string& name) = 0;

    // HTTP GET of `url` through the system's proxy settings (POSIX:
    // http_proxy, https_proxy and no_proxy; Windows: the caller's Internet
    // settings, else, where they name neither a proxy nor a configuration
    // script, as for SYSTEM, the machine's WinHTTP proxy), never from a
    // cache, without cookies or credentials, following redirects (POSIX: at
    // most 5) to HTTP and HTTPS only, never from HTTPS back to HTTP, with
    // the certificate checked as usual: the body of an answer with
    // status 200 that came whole (as long as it announced, where it did),
    // at most 1 MiB. nullopt for anything else, and after 30 s without a
    // connection, 60 s without a byte or 120 s in all.
    virtual std::optional<std::string> Download(const std::string& url) = 0;

    // Starts the held `program` itself (POSIX: from its open file) with the
    // command line `arguments` (POSIX: split into words by the rules of the
    // tool's own command line; standard input from /dev/null) in the
    // program's folder, and waits on the process until it exits, at most
    // 120 s: a program still running then is ended (and given 5 s to go),
    // and the result is false. True when it ran and exited by itself,
    // whatever its exit code (Windows: also when the shell handed it to a
    // program already running); false when it could not be started. Shows
    // no error dialog.
    virtual bool RunAndWait(const Program& program, const std::string& arguments) = 0;

    // One run at a time per folder: waits while another process holds
    // `path`, at most 10 minutes; nullptr then. Held until destroyed (and
    // by no process that has ended). Only administrators (POSIX: root) can
    // take or hold it, so nobody else can make a run wait; a caller that
    // cannot take it gets nullptr at once. Windows: a hidden file
    // "zephrane.lock" in the folder, open without sharing while it is held,
    // which stays. POSIX: a file in /run/zephrane named by the folder's
    // device and inode, which stays.
    virtual std::unique_ptr<Hold> LockFolder(const std::string& path) = 0;
    // Until destroyed, Ctrl+C, Ctrl+Break, closing the console and
    // termination requests wait (POSIX: SIGINT, SIGTERM, SIGHUP and SIGQUIT
    // are blocked; Windows: a console handler takes them, and holds a close,
    // a logoff or a shutdown as long as the system lets it, see Answer). An
    // outright kill (POSIX SIGKILL, Windows TerminateProcess) cannot wait.
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
