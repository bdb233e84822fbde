// The seam between the portable tool (app/, config/) and the operating system.
// Everything app/ and config/ need from the system goes through `Platform`;
// the Win32 and POSIX backends implement it, tests substitute a fake.
#pragma once

#include <cstddef>
#include <memory>
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

enum class FileMode {
    ReadText,          // existing file, shared for reading
    WriteText,         // created or emptied
    WriteTextPrivate,  // as WriteText; on POSIX readable by the owner only (carries the control key)
    WriteBinary,       // created or emptied, for downloads
};

// An open file. Failures the tool does not test for throw RunError (I/O
// error with the system's code); the destructor closes without throwing.
class File {
public:
    virtual ~File() = default;
    // One system write; returns how many bytes were written.
    virtual std::size_t Write(const char* data, std::size_t size) = 0;
    // One system read; 0 at the end of the file.
    virtual std::size_t Read(char* data, std::size_t size) = 0;
    // Closes the file, reporting a failure as RunError.
    virtual void Close() = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Registry: the string value `value` of key `key` below HKEY_LOCAL_MACHINE
    // (`key` written with '\' separators, as in "\Software\ISC\BIND\").
    // Absent key or value read as empty; string and expandable-string values
    // are taken unexpanded up to the first NUL; any other type throws the
    // ERegistryException RunError.
    virtual std::string ReadRegistryString(const std::string& key, const std::string& value) = 0;

    // File system. None of these throws; each reports through its result.
    virtual bool DirectoryExists(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool CreateDirectory(const std::string& path) = 0;  // one level
    virtual bool RenameFile(const std::string& oldPath, const std::string& newPath) = 0;
    virtual bool DeleteFile(const std::string& path) = 0;
    virtual std::unique_ptr<File> OpenFile(const std::string& path, FileMode mode) = 0;

    // Clock and pauses.
    virtual LocalTime Now() = 0;
    virtual void Sleep(unsigned milliseconds) = 0;

    // Console.
    virtual bool StdoutIsConsole() = 0;
    virtual void WriteStdout(std::string_view bytes) = 0;
    virtual void WriteStderr(std::string_view bytes) = 0;
    // Full path of the running executable, as the system reports it.
    virtual std::string ExecutablePath() = 0;

    // Services: state 1 stopped, 4 running, other system values passed
    // through, -1 when the state cannot be obtained; start types 2 and 3.
    virtual int GetServiceState(const std::string& name) = 0;
    virtual bool SetServiceStartType(const std::string& name, int startType) = 0;
    virtual bool StartServiceAndWait(const std::string& name) = 0;
    virtual bool StopServiceAndWait(const std::string& name) = 0;

    // HTTP download of `url` into `destPath`.
    virtual bool DownloadFile(const std::string& url, const std::string& destPath) = 0;

    // Starts `program` with `arguments` in the program's folder and waits
    // until it has exited.
    virtual bool RunAndWait(const std::string& program, const std::string& arguments) = 0;
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
