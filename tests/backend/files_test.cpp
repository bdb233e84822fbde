// The real file system of this build through the platform seam: the
// existence tests, a folder opened once and what it creates and reads, the
// modes it sets, and the lock of a folder.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "io/console.h"
#include "platform/holds.h"
#include "platform/platform.h"
#include "platform/run_error.h"

#ifdef _WIN32
#include <thread>

#include "platform/win32/console_close.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

// What the backend syncs, by path; the folder in gFailingSync fails as a
// disk that cannot write would. Globals, as fsync itself is replaced here.
static std::vector<std::string> gSynced;
static std::string gFailingSync;
extern "C" int fsync(int fd) {
    gSynced.push_back(std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd)).string());
    return gSynced.back() == gFailingSync ? (errno = EIO, -1) : static_cast<int>(::syscall(SYS_fsync, fd));
}
#endif

namespace zephrane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SystemFiles : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / "folder" / "sub");
        Put("file.txt", "content");
        Put("folder/taken", "earlier");
        fs::create_hard_link(root_ / "file.txt", root_ / "folder" / "second-name");
#ifndef _WIN32
        Put("folder/others", "not ours");
        ASSERT_EQ(::geteuid() != 0 || ::chown(P("folder/others").c_str(), 65534, 65534) == 0, true);
        fs::create_symlink(P("file.txt"), root_ / "folder" / "link");
        fs::create_symlink(P("nowhere"), root_ / "folder" / "dangling");
        fs::create_symlink(root_ / "folder", root_ / "folder-link");
        ::mkfifo(P("folder/fifo").c_str(), 0600);
#endif
    }
    void TearDown() override { fs::remove_all(root_); }

    // A path in the build's own form.
    std::string P(const std::string& name, bool folder = false) const {
        return (root_ / name).make_preferred().string() + (folder ? std::string(1, kPathSeparator) : "");
    }
    void Put(const std::string& name, const std::string& content) const {
        std::ofstream(root_ / name, std::ios::binary) << content;
    }
    std::string Get(const std::string& name) const {
        std::ifstream in(root_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The system code of the I/O error `action` throws; 0 for none.
    static unsigned IoError(const std::function<void()>& action) {
        try {
            action();
        } catch (const RunError& error) {
            return error.What() == RunError::Cause::Io ? error.SystemCode() : 0;
        }
        return 0;
    }

    const fs::path root_ = fs::temp_directory_path() / ("zephrane-files-" + std::to_string(std::random_device()()));
    std::unique_ptr<Platform> system_ = CreateSystemPlatform();
    // Links and FIFOs are POSIX rows.
    const std::vector<std::string> inTheWay_ = kHasDriveMark
                                                   ? std::vector<std::string>{"taken", "sub", "second-name"}
                                                   : std::vector<std::string>{"taken", "sub", "second-name", "link",
                                                                              "dangling", "fifo", "others"};
};

TEST_F(SystemFiles, ExistenceTests) {
    Platform& s = *system_;
    EXPECT_TRUE(s.DirectoryExists(P("folder")) && s.DirectoryExists(P("folder", true)));
    EXPECT_FALSE(s.DirectoryExists(P("file.txt")) || s.DirectoryExists(P("missing")) || s.DirectoryExists(""));
    EXPECT_TRUE(s.FileExists(P("file.txt")));
    EXPECT_FALSE(s.FileExists(P("folder")) || s.FileExists(P("folder", true)) || s.FileExists(P("file.txt", true)) ||
                 s.FileExists(P("missing")) || s.FileExists(""));
}

TEST_F(SystemFiles, AFolderCreatesOnlyNewNamesAndReadsOnlyPlainFiles) {
    for (const char* path : {"file.txt", "missing", "folder-link"}) {
        EXPECT_EQ(system_->OpenFolder(P(path, true), {}), nullptr) << path;
    }
    const std::unique_ptr<Folder> folder = system_->OpenFolder(P("folder", true), {});
    ASSERT_NE(folder, nullptr);
    for (const std::string& name : inTheWay_) {
        EXPECT_EQ(folder->CreateFile(name, FileAccess::Plain), nullptr) << name;
        EXPECT_EQ(folder->OpenFile(name) == nullptr, name != "taken") << name;
    }
    EXPECT_EQ(Get("folder/taken") + Get("file.txt"), "earliercontent") << "nothing written, through a link neither";
    EXPECT_FALSE(fs::exists(root_ / "nowhere")) << "nothing created through a link";
    EXPECT_EQ(folder->OpenFile("missing"), nullptr);

    std::unique_ptr<File> created = folder->CreateFile("new", FileAccess::Secret);
    ASSERT_NE(created, nullptr);
    created->Write("abc", 3);
    created->Close();
    EXPECT_EQ(Get("folder/new"), "abc");
    EXPECT_TRUE(folder->DeleteFile("new"));
    EXPECT_FALSE(fs::exists(root_ / "folder" / "new"));
}

#ifndef _WIN32
// With the name server's group the real BIND suite checks them; these are
// the modes without one, under a umask that would widen them.
TEST_F(SystemFiles, ModesWithoutAGroupWhateverTheUmask) {
    const mode_t previous = ::umask(0);
    ASSERT_TRUE(system_->CreateFolder(P("etc")));
    EXPECT_EQ(fs::status(root_ / "etc").permissions(), fs::perms::owner_all) << "only we, until opened";
    {
        const std::unique_ptr<Folder> etc = system_->OpenFolder(P("etc", true), {});
        for (const auto& [name, access] : {std::pair{"secret", FileAccess::Secret}, {"server", FileAccess::ServerReads},
                                           {"plain", FileAccess::Plain}}) {
            etc->CreateFile(name, access)->Close();
        }
    }
    ::umask(previous);
    const auto mode = [&](const char* name) { return static_cast<int>(fs::status(root_ / name).permissions()); };
    EXPECT_EQ((std::vector{mode("etc"), mode("etc/secret"), mode("etc/server"), mode("etc/plain")}),
              (std::vector{0700, 0600, 0600, 0644}));
}

// Whom the tool trusts with a folder it runs a program from, and with the
// folder above it, asked by root and by an unprivileged caller (a child that
// has given root up).
TEST_F(SystemFiles, FoldersOnlyRootOrTheCallerMayChange) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "owners other than the caller need root";
    }
    constexpr uid_t kNobody = 65534;
    struct Row {
        mode_t above;  // the folder that holds it, root's
        uid_t owner;
        gid_t group;
        mode_t mode;
        bool byRoot, byNobody;
    } const rows[] = {
        {0755, 0, 0, 0755, true, true},           {0755, 0, 0, 0775, true, true},  // root's group may write
        {0755, 0, 1000, 0775, false, false},      {0755, 0, 1000, 0755, true, true},
        {0755, 0, 0, 0757, false, false},         {0755, kNobody, 0, 0755, false, true},
        {0755, 1000, 1000, 0700, false, false},   {0777, 0, 0, 0755, false, false},  // anybody may swap it
        {01777, 0, 0, 0755, true, true},          {01777, kNobody, 0, 0755, false, true},  // sticky, as /tmp
    };
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::create_directory(root_ / "above");
    fs::create_directory_symlink(root_ / "above" / "protected", root_ / "link");
    for (const Row& row : rows) {
        const std::string folder = P("above/protected");
        fs::create_directory(folder);
        ASSERT_EQ(::chmod(P("above").c_str(), row.above) | ::chown(folder.c_str(), row.owner, row.group) |
                      ::chmod(folder.c_str(), row.mode),
                  0);
        const pid_t child = ::fork();
        if (child == 0) {
            // From inside root_: the folders above it may be closed to nobody.
            _exit(::chdir(root_.c_str()) == 0 && ::setuid(kNobody) == 0
                      ? system_->HoldProtectedFolder("above/protected") != nullptr
                      : 2);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(system_->HoldProtectedFolder(folder) != nullptr, row.byRoot) << std::oct << row.mode << " by root";
        EXPECT_EQ(WEXITSTATUS(status), row.byNobody ? 1 : 0) << std::oct << row.mode << " by nobody";
        EXPECT_EQ(system_->HoldProtectedFolder(P("link")), nullptr) << "a link on the way";
        fs::remove(folder);
    }
}

// An access list that lets nobody write leaves the mode at 0775 root:root
// (its group bits are the list's mask): every check of what the tool runs
// or reads as root refuses the entry it is on, and a default list, which
// what is made inside takes. Each row: what is still trusted of the
// installation, the generator (in bin), the registry value and systemctl.
TEST_F(SystemFiles, AccessListsCountAsOthersWrite) {
    const auto setfacl = [&](const std::string& args) {
        return std::system(("cd '" + root_.string() + "' && setfacl " + args + " 2>&1").c_str()) == 0;
    };
    if (::geteuid() != 0 || !setfacl("-m u:nobody:rwx file.txt")) {
        GTEST_SKIP() << "needs root, and access lists where setfacl gave none (EOPNOTSUPP?)";
    }
    for (const char* file : {"above/inst/bin/rndc-confgen", "registry/Software/ISC/BIND/InstallDir", "path/systemctl"}) {
        fs::create_directories((root_ / file).parent_path());
        Put(file, "#!/bin/sh\nprintf 'LoadState=loaded\\nActiveState=active\\nUnitFileState=enabled\\n'\n");
        fs::permissions(root_ / file, fs::perms(0755));
    }
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", (P("path") + ":" + path).c_str(), 1);
    ::setenv("ZEPHRANE_REGISTRY", P("registry").c_str(), 1);
    const std::pair<const char*, std::vector<bool>> rows[] = {
        {"-m u:nobody:rwx above", {false, false, true, true}},
        {"-m u:nobody:rwx above/inst", {false, false, true, true}},
        {"-d -m u:nobody:rwx above/inst", {false, false, true, true}},
        {"-m u:nobody:rwx above/inst/bin", {true, false, true, true}},
        {"-m u:nobody:rwx above/inst/bin/rndc-confgen", {true, false, true, true}},
        {"-m u:nobody:rwx registry/Software", {true, true, false, true}},
        {"-m u:nobody:rwx registry/Software/ISC/BIND/InstallDir", {true, true, false, true}},
        {"-m u:nobody:rwx path", {true, true, true, false}},
        {"-m u:nobody:rwx path/systemctl", {true, true, true, false}},
    };
    for (const auto& [acl, trusted] : rows) {
        ASSERT_TRUE(setfacl("-R -b above registry path && setfacl " + std::string(acl)));
        const std::vector<bool> now{system_->HoldProtectedFolder(P("above/inst")) != nullptr,
                                    system_->HoldProtectedProgram(P("above/inst/bin/rndc-confgen")) != nullptr,
                                    !system_->ReadRegistryString("\\Software\\ISC\\BIND\\", "InstallDir").empty(),
                                    system_->GetServiceState("named") == ServiceState::Running};
        EXPECT_EQ(now, trusted) << acl;
    }
    ::setenv("PATH", path.c_str(), 1);
    ::unsetenv("ZEPHRANE_REGISTRY");
}

// A rename or a new folder survives a power cut, or the run ends in an error.
TEST_F(SystemFiles, FolderEntriesReachTheDisk) {
    const std::string root = fs::canonical(root_).string();
    gSynced.clear();
    ASSERT_TRUE(system_->CreateFolder(P("etc")) && system_->RenameFolder(P("etc"), P("moved")));
    EXPECT_EQ(gSynced, (std::vector<std::string>{root, root}));
    gFailingSync = root;
    EXPECT_EQ(IoError([&] { system_->CreateFolder(P("etc2")); }), 1117u);  // EIO
    EXPECT_EQ(IoError([&] { system_->RenameFolder(P("moved"), P("etc")); }), 1117u);
    gFailingSync = root + "/etc";  // made, and renamed back, above
    EXPECT_EQ(IoError([&] { system_->OpenFolder(P("etc", true), {})->Sync(); }), 1117u);
}

// On a terminal each line goes out as it is written; elsewhere in 128-byte
// blocks, which a socket of records shows one by one.
TEST_F(SystemFiles, ATerminalIsAConsoleASocketIsNot) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    int records[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, records), 0);
    const int output = ::dup(STDOUT_FILENO);
    const int other = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
    ::dup2(other, STDOUT_FILENO);
    const bool onTerminal = system_->StdoutIsConsole();
    ::dup2(records[0], STDOUT_FILENO);
    Console console(*system_);
    console.WriteLine(std::string(200, 'x'));
    console.Flush();
    ::dup2(output, STDOUT_FILENO);
    const auto next = [&] { char record[512]; return ::recv(records[1], record, sizeof record, MSG_DONTWAIT); };
    EXPECT_EQ((std::vector{next(), next()}), (std::vector<ssize_t>{128, 73}));
    EXPECT_TRUE(onTerminal);
    for (const int fd : {terminal, output, other, records[0], records[1]}) {
        ::close(fd);
    }
}

// The folder itself is every reader's to lock: held so, it holds no run up;
// and one who has given root up cannot take the lock.
TEST_F(SystemFiles, NobodyElseCanHoldTheLock) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    const int folder = ::open(P("folder").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    EXPECT_NE(LockFolderWithin(P("folder", true), 0ms), nullptr);
    ::close(folder);
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const pid_t child = ::fork();
    if (child == 0) {
        _exit(::chdir(root_.c_str()) == 0 && ::setuid(65534) == 0 && !LockFolderWithin("folder", 0ms) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0) << "taken by nobody";
}
#endif

TEST_F(SystemFiles, OneHolderOfAFolderAtATime) {
    std::unique_ptr<Hold> first = LockFolderWithin(P("folder", true), 1s);
    ASSERT_NE(first, nullptr) << "POSIX: only root takes it";
    const auto tryLock = [&](std::chrono::milliseconds wait) {
        return LockFolderWithin(P("folder", true), wait) != nullptr;
    };
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(tryLock(500ms));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 500ms);
    first.reset();
    EXPECT_TRUE(tryLock(500ms));
}

// A request to end the run while interruptions are held ends nothing: it is
// seen, and answered (consumed) when the hold ends. Windows ends the process
// 5 s after the console is closed: a pause under way then ends at once, and
// so does the next, until the run answers; the undo's pauses end 4 s after
// the close. Wine sends no close event (nor Ctrl+Break without a console):
// the handler is called as Windows calls it, on a thread of its own, and
// returns once the hold ends.
TEST_F(SystemFiles, InterruptionsWaitAndAreAnswered) {
    std::unique_ptr<HeldInterruptions> held = system_->HoldInterruptions();
    EXPECT_FALSE(held->Requested());
#ifdef _WIN32
    const auto begin = std::chrono::steady_clock::now();
    // Joined at the end, once the hold has let the handler return.
    const std::jthread close([] { Sleep(300); OnConsoleEvent(CTRL_CLOSE_EVENT); });
    system_->Sleep(60000);
    system_->Sleep(60000);
    const auto closing = std::chrono::steady_clock::now() - begin;
    held->Answer();
    system_->Sleep(60000);
    const auto undoing = std::chrono::steady_clock::now() - begin;
    EXPECT_TRUE(closing < 1s && undoing > 4s && undoing < 5s) << closing / 1ms << " ms, " << undoing / 1ms << " ms";
#else
    ::kill(::getpid(), SIGTERM);
#endif
    EXPECT_TRUE(held->Requested());
    held.reset();
}

}  // namespace
}  // namespace zephrane
