// The real file system of this build through the platform seam: existence
// tests, folders, delete, opening files and the errors they raise.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "platform/platform.h"
#include "platform/run_error.h"
#include "platform/text_file.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zephrane {
namespace {

namespace fs = std::filesystem;

class SystemFiles : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("zephrane-files-" + std::to_string(std::random_device()()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        std::ofstream(root_ / "file.txt") << "content";
        fs::create_directory(root_ / "folder");
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

TEST_F(SystemFiles, WritingReplacesALongerFile) {
    TextWriter writer(*system_, P("file.txt"));
    writer.WriteLine("a");
    writer.Close();
    EXPECT_EQ(Get("file.txt"), "a" + std::string(kLineEnd));
}

TEST_F(SystemFiles, OpenFailuresAreReportedAsTheSystemsErrors) {
    Platform& s = *system_;
    EXPECT_EQ(IoMessage([&] { s.OpenFile(P("missing"), FileMode::ReadText); }), "EInOutError: Datei nicht gefunden");
    EXPECT_EQ(IoMessage([&] { s.OpenFile(P("absent") + kPathSeparator + "f", FileMode::WriteText); }),
              "EInOutError: Ung\xFCltiger Dateiname");
    EXPECT_EQ(IoMessage([&] { s.OpenFile(P("folder"), FileMode::WriteText); }),
              "EInOutError: Dateizugriff verweigert");
    EXPECT_EQ(IoMessage([&] { s.OpenFile(P("folder"), FileMode::ReadText); }),
              "EInOutError: Dateizugriff verweigert");
}

#ifndef _WIN32
TEST_F(SystemFiles, SpecialFilesNeverMakeAReadWait) {
    ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0600), 0);
    EXPECT_EQ(IoMessage([&] { system_->OpenFile(P("fifo"), FileMode::ReadText); }),
              "EInOutError: Dateizugriff verweigert");
    EXPECT_EQ(IoMessage([&] { system_->OpenFile("/dev/zero", FileMode::ReadText); }),
              "EInOutError: Dateizugriff verweigert");
    // Nobody reads the FIFO: opening it for writing fails instead of waiting.
    EXPECT_NE(IoMessage([&] { system_->OpenFile(P("fifo"), FileMode::WriteText); }), "no error");
}
#endif

}  // namespace
}  // namespace zephrane
