// The real file system of this build through the platform seam: existence
// tests, folders opened once and the files created in them, the lock of a
// folder, and the errors they raise.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "platform/holds.h"
#include "platform/platform.h"
#include "platform/run_error.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#endif

namespace zephrane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SystemFiles : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("zephrane-files-" + std::to_string(std::random_device()()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "folder");
        Put("file.txt", "content");
    }
    void TearDown() override { fs::remove_all(root_); }

    // A path in the build's own form.
    std::string P(const std::string& name, bool folder = false) const {
        std::string path = (root_ / name).string();
        if (folder) {
            path.push_back(kPathSeparator);
        }
        return path;
    }
    void Put(const std::string& name, const std::string& content) const {
        std::ofstream(root_ / name, std::ios::binary) << content;
    }
    std::string Get(const std::string& name) const {
        std::ifstream in(root_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::string IoMessage(const std::function<void()>& action) {
        try {
            action();
        } catch (const RunError& error) {
            return error.ClassName() + ": " + error.Message();
        }
        return "no error";
    }

    fs::path root_;
    std::unique_ptr<Platform> system_ = CreateSystemPlatform();
};

TEST_F(SystemFiles, ExistenceTests) {
    Platform& s = *system_;
    EXPECT_TRUE(s.DirectoryExists(P("folder")));
    EXPECT_TRUE(s.DirectoryExists(P("folder", true)));
    EXPECT_FALSE(s.DirectoryExists(P("file.txt")));
    EXPECT_FALSE(s.DirectoryExists(P("missing")));
    EXPECT_FALSE(s.DirectoryExists(""));

    EXPECT_TRUE(s.FileExists(P("file.txt")));
    EXPECT_FALSE(s.FileExists(P("folder")));
    EXPECT_FALSE(s.FileExists(P("folder", true)));
    EXPECT_FALSE(s.FileExists(P("file.txt", true)));
    EXPECT_FALSE(s.FileExists(P("missing")));
    EXPECT_FALSE(s.FileExists(""));
}

TEST_F(SystemFiles, FileExistsOnlyWithADosTime) {
    using namespace std::chrono;
    const auto at = [](int year) {
        return fs::file_time_type::clock::now() - duration_cast<fs::file_time_type::duration>(
                                                      years(2026 - year) + days(2));
    };
    fs::last_write_time(root_ / "file.txt", at(1975));
    EXPECT_FALSE(system_->FileExists(P("file.txt")));
    fs::last_write_time(root_ / "file.txt", at(1999));
    EXPECT_TRUE(system_->FileExists(P("file.txt")));
}

// Renames and ForceDirectories are in every configuration run of the fault
// and end-to-end suites; these are the refusals those runs do not meet.
TEST_F(SystemFiles, RefusedCreatesAndDeletes) {
    Platform& s = *system_;
    EXPECT_TRUE(s.CreateDirectory(P("new")));
    EXPECT_FALSE(s.CreateDirectory(P("new")));
    EXPECT_FALSE(s.CreateDirectory(P("absent") + kPathSeparator + "child"));
    EXPECT_FALSE(s.DeleteFile(P("new")));
    EXPECT_FALSE(s.DeleteFile(P("missing")));
}

TEST_F(SystemFiles, AFolderCreatesOnlyNewNamesAndReadsOnlyPlainFiles) {
    const std::string outside = P("file.txt");
#ifndef _WIN32
    fs::create_symlink(outside, root_ / "folder" / "link");
    fs::create_symlink(P("nowhere"), root_ / "folder" / "dangling");
    ASSERT_EQ(::mkfifo(P("folder/fifo").c_str(), 0600), 0);
#endif
    fs::create_directory(root_ / "folder" / "sub");
    Put("folder/taken", "earlier");
    const std::unique_ptr<Folder> folder = system_->OpenFolder(P("folder", true), {});
    ASSERT_NE(folder, nullptr);

    for (const char* name : {"taken", "sub", "link", "dangling", "fifo"}) {
        if (kHasDriveMark && std::string(name) != "taken" && std::string(name) != "sub") {
            continue;  // links and FIFOs are POSIX rows
        }
        EXPECT_EQ(folder->CreateFile(name, FileAccess::Plain), nullptr) << name;
    }
    EXPECT_EQ(Get("folder/taken"), "earlier");
    EXPECT_EQ(Get("file.txt"), "content") << "nothing written through a link";
    EXPECT_FALSE(fs::exists(root_ / "nowhere")) << "nothing created through a link";

    std::unique_ptr<File> created = folder->CreateFile("new", FileAccess::Secret);
    ASSERT_NE(created, nullptr);
    created->Write("abc", 3);
    created->Close();
    EXPECT_EQ(Get("folder/new"), "abc");

    const std::pair<const char*, const char*> reads[] = {
        {"missing", "EInOutError: Datei nicht gefunden"}, {"sub", "EInOutError: Dateizugriff verweigert"},
        {"link", "EInOutError: Dateizugriff verweigert"}, {"fifo", "EInOutError: Dateizugriff verweigert"},
    };
    for (const auto& [name, message] : reads) {
        if (kHasDriveMark && (std::string(name) == "link" || std::string(name) == "fifo")) {
            continue;
        }
        EXPECT_EQ(IoMessage([&] { folder->OpenFile(name); }), message) << name;
    }
    EXPECT_TRUE(folder->DeleteFile("new"));
    EXPECT_FALSE(system_->FileExists(P("folder/new")));
}

TEST_F(SystemFiles, OpenFolderRefusesWhatIsNoFolder) {
#ifndef _WIN32
    fs::create_symlink(root_ / "folder", root_ / "link");
#endif
    for (const char* name : {"file.txt", "missing", "link"}) {
        if (kHasDriveMark && std::string(name) == "link") {
            continue;  // Wine opens what a Unix link names; Windows opens a reparse point itself
        }
        EXPECT_EQ(system_->OpenFolder(P(name, true), {}), nullptr) << name;
    }
}

#ifndef _WIN32
TEST_F(SystemFiles, OpenFolderSetsModesWhateverTheUmask) {

    // The group of the name server where the machine has one; ours otherwise.
    const group* named = ::getgrnam("bind");
    const gid_t gid = named != nullptr ? named->gr_gid : ::getegid();
    const struct {
        mode_t umask;
        Account server;
        mode_t folder, secret, serverReads, plain;
    } rows[] = {
        {0000, {std::to_string(gid)}, 0770, 0600, 0640, 0644},
        {0077, {std::to_string(gid)}, 0770, 0600, 0640, 0644},
        {0000, {}, 0700, 0600, 0600, 0644},
    };
    const auto mode = [&](const std::string& name) { return fs::status(root_ / name).permissions(); };
    for (const auto& row : rows) {
        const mode_t previous = ::umask(row.umask);
        ASSERT_TRUE(system_->CreateDirectory(P("etc")));
        EXPECT_EQ(mode("etc"), fs::perms::owner_all) << "only we enter it until it is opened";
        {
            const std::unique_ptr<Folder> etc = system_->OpenFolder(P("etc", true), row.server);
            ASSERT_NE(etc, nullptr);
            for (const auto& [name, access] : {std::pair{"secret", FileAccess::Secret},
                                               {"server", FileAccess::ServerReads}, {"plain", FileAccess::Plain}}) {
                etc->CreateFile(name, access)->Close();
            }
            etc->Sync();
        }
        ::umask(previous);
        EXPECT_EQ(mode("etc"), static_cast<fs::perms>(row.folder)) << row.umask;
        EXPECT_EQ(mode("etc/secret"), static_cast<fs::perms>(row.secret)) << row.umask;
        EXPECT_EQ(mode("etc/server"), static_cast<fs::perms>(row.serverReads)) << row.umask;
        EXPECT_EQ(mode("etc/plain"), static_cast<fs::perms>(row.plain)) << row.umask;
        struct stat info {};
        ASSERT_EQ(::stat(P("etc/server").c_str(), &info), 0);
        EXPECT_EQ(info.st_gid, row.server.id.empty() ? ::getegid() : gid);
        fs::remove_all(root_ / "etc");
    }
}

TEST_F(SystemFiles, ProtectedMeansNobodyElseCanChangeIt) {
    ASSERT_EQ(::chmod(P("folder").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(P("file.txt").c_str(), 0755), 0);
    EXPECT_TRUE(system_->IsProtectedFolder(P("folder", true)));
    EXPECT_TRUE(system_->IsProtectedProgram(P("file.txt")));
    const struct {
        const char* path;
        mode_t mode;
        bool program;
    } unprotected[] = {
        {"folder", 0757, false},   // others may write
        {"file.txt", 0644, true},  // not executable
        {"file.txt", 0757, true},
    };
    for (const auto& row : unprotected) {
        ASSERT_EQ(::chmod(P(row.path).c_str(), row.mode), 0);
        EXPECT_FALSE(row.program ? system_->IsProtectedProgram(P(row.path)) : system_->IsProtectedFolder(P(row.path)))
            << row.path << " " << std::oct << row.mode;
    }
    EXPECT_FALSE(system_->IsProtectedProgram(P("folder")));
}

TEST(Interruptions, WaitUntilTheHoldEnds) {
    static volatile std::sig_atomic_t arrived = 0;
    const auto previous = std::signal(SIGTERM, [](int) { arrived = 1; });
    {
        const std::unique_ptr<Hold> hold = CreateSystemPlatform()->HoldInterruptions();
        std::raise(SIGTERM);
        EXPECT_EQ(arrived, 0);
    }
    EXPECT_EQ(arrived, 1);
    std::signal(SIGTERM, previous);
}
#endif

TEST_F(SystemFiles, OneHolderOfAFolderAtATime) {
    std::unique_ptr<Hold> first = LockFolderWithin(P("folder", true), 1s);
    ASSERT_NE(first, nullptr);
    // Another thread stands in for another run (a Windows mutex is its thread's).
    const auto tryLock = [&](std::chrono::milliseconds wait) {
        bool got = false;
        std::thread([&] { got = LockFolderWithin(P("folder", true), wait) != nullptr; }).join();
        return got;
    };
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(tryLock(500ms));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 500ms);
    first.reset();
    EXPECT_TRUE(tryLock(500ms));
}

}  // namespace
}  // namespace zephrane
