// Launching the key generator on the real system, with a stand-in generator
// (tests/fixtures/stand_in_keygen.cpp) in a temporary BIND installation.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "config/control_key.h"
#include "config/install_paths.h"
#include "platform/launch.h"
#include "platform/paths.h"
#include "platform/system_platform.h"

namespace zephrane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// An installation with a blank in its name, as under "Program Files", whose
// generator is the stand-in in `mode`.
class StandInBind {
public:
    explicit StandInBind(const std::string& mode = "")
        : root_(fs::temp_directory_path() / ("zephrane test " + std::to_string(std::random_device()()))),
          dir_((root_ / "ISC BIND 9").string() + kPathSeparator) {
        fs::create_directories(dir_ + "bin");
        fs::create_directory(dir_ + "etc");
        fs::copy_file(ExtractFilePath(SystemPlatform().ExecutablePath()) + "stand_in_keygen" +
                          (kHasDriveMark ? ".exe" : ""),
                      Generator());
        std::ofstream(BinFolder(dir_) + "stand_in_mode") << mode;
    }
    StandInBind(const StandInBind&) = delete;
    StandInBind& operator=(const StandInBind&) = delete;
    ~StandInBind() {
        std::error_code ignored;  // a program just ended may hold its file a moment longer
        fs::remove_all(root_, ignored);
    }

    std::string Generator() const { return KeyGeneratorPath(dir_); }
    bool Launch() const {
        const std::unique_ptr<Program> program = SystemPlatform().HoldProtectedProgram(Generator());
        return program && SystemPlatform().RunAndWait(*program, KeyGeneratorArguments(dir_));
    }
    bool KeyWritten() const { return fs::exists(EtcFile(dir_, "rndc.key")); }
    // The stand-in's record: the values of the lines starting with `tag`.
    std::vector<std::string> Recorded(const std::string& tag) const {
        std::vector<std::string> values;
        std::ifstream record(BinFolder(dir_) + "stand_in_record.txt");
        for (std::string line; std::getline(record, line);) {
            if (line.starts_with(tag + " ")) {
                values.push_back(line.substr(tag.size() + 1));
            }
        }
        return values;
    }

    fs::path root_;
    std::string dir_;
};

TEST(RunAndWait, FalseForWhatIsNoProgram) {
    const StandInBind bind;
    std::ofstream(BinFolder(bind.dir_) + "notes.exe") << "not a program\n";
    fs::permissions(BinFolder(bind.dir_) + "notes.exe", fs::perms::owner_exec, fs::perm_options::add);
    for (const std::string& program : {BinFolder(bind.dir_) + "absent.exe", BinFolder(bind.dir_)}) {
        EXPECT_EQ(SystemPlatform().HoldProtectedProgram(program), nullptr) << program;
    }
    const std::unique_ptr<Program> notes = SystemPlatform().HoldProtectedProgram(BinFolder(bind.dir_) + "notes.exe");
    ASSERT_NE(notes, nullptr);
    EXPECT_FALSE(SystemPlatform().RunAndWait(*notes, ""));
}

// What runs is what was checked: POSIX runs the open file, whatever its name
// leads to by then; Windows lets nobody move it meanwhile.
TEST(RunAndWait, RunsTheProgramThatWasChecked) {
    const StandInBind bind;
    const std::unique_ptr<Program> program = SystemPlatform().HoldProtectedProgram(bind.Generator());
    ASSERT_NE(program, nullptr);
    std::error_code moved;
    fs::rename(bind.Generator(), bind.Generator() + ".checked", moved);
    EXPECT_EQ(static_cast<bool>(moved), kHasDriveMark) << moved.message();
    if (!moved) {
        std::ofstream(bind.Generator()) << "#!/bin/sh\n";
        fs::permissions(bind.Generator(), fs::perms::owner_all);
    }
    EXPECT_TRUE(SystemPlatform().RunAndWait(*program, KeyGeneratorArguments(bind.dir_)));
    EXPECT_TRUE(bind.KeyWritten());
}

// 259 is an exit code like any other, not "still running".
TEST(RunAndWait, TrueWhateverTheExitCodeInItsFolderWithTheWords) {
    for (const char* mode : {"", "fail-after-key", "exit-259"}) {
        const StandInBind bind(mode);
        EXPECT_TRUE(bind.Launch()) << mode;
        EXPECT_TRUE(bind.KeyWritten()) << mode;
    }
    const StandInBind bind;
#ifndef _WIN32
    const auto previous = std::signal(SIGPIPE, SIG_IGN);  // as the tool has it
#endif
    ASSERT_TRUE(bind.Launch());
#ifndef _WIN32
    std::signal(SIGPIPE, previous);
    EXPECT_EQ(bind.Recorded("sigpipe"), std::vector<std::string>{"default"});
#endif
    EXPECT_EQ(bind.Recorded("arg"), (std::vector<std::string>{"-a", "-b", "512", "-c", EtcFile(bind.dir_, "rndc.key"),
                                                              "-k", "rndc-key", "-p", "953", "-s", "127.0.0.1"}));
    EXPECT_EQ(bind.Recorded("cwd"), std::vector<std::string>{StripTrailingSeparator(BinFolder(bind.dir_))});
}

TEST(RunAndWait, AProgramThatNeverExitsIsEndedAtTheDeadline) {
    const StandInBind bind("hang");
    const Clock::time_point started = Clock::now();
    const std::unique_ptr<Program> program = SystemPlatform().HoldProtectedProgram(bind.Generator());
    ASSERT_NE(program, nullptr);
    EXPECT_FALSE(RunAndWaitWithin(*program, KeyGeneratorArguments(bind.dir_), 3s));
    EXPECT_GE(Clock::now() - started, 3s);
    EXPECT_LT(Clock::now() - started, 20s);
    // It no longer runs: its heartbeat has stopped.
    const std::string heartbeat = BinFolder(bind.dir_) + "stand_in_heartbeat";
    const auto beats = fs::file_size(heartbeat);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(fs::file_size(heartbeat), beats);
#ifndef _WIN32
    EXPECT_NE(::kill(std::stoi(bind.Recorded("pid").at(0)), 0), 0) << "reaped: a zombie would still take signals";
#endif
}

}  // namespace
}  // namespace zephrane
