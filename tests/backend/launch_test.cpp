// Launching the key generator on the real system, with a stand-in generator
// (tests/fixtures/stand_in_keygen.cpp) in a temporary BIND installation.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#ifndef _WIN32
#include <cerrno>
#include <csignal>
#endif

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

// A BIND installation below the temporary folder, a blank in its name as under
// "Program Files", whose key generator is the stand-in in `mode`.
class StandInBind {
public:
    explicit StandInBind(const std::string& mode = "")
        : root_(fs::temp_directory_path() / ("zephrane test " + std::to_string(std::random_device()()))),
          dir_((root_ / "ISC BIND 9").string() + kPathSeparator) {
        fs::create_directories(dir_ + "bin");
        fs::create_directory(dir_ + "etc");
        const std::string standIn = ExtractFilePath(SystemPlatform().ExecutablePath()) + "stand_in_keygen" +
                                    (kHasDriveMark ? ".exe" : "");
        fs::copy_file(standIn, Generator());
        std::ofstream(BinFile("stand_in_mode")) << mode;
    }
    StandInBind(const StandInBind&) = delete;
    StandInBind& operator=(const StandInBind&) = delete;
    ~StandInBind() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    const std::string& Dir() const { return dir_; }
    std::string Generator() const { return KeyGeneratorPath(dir_); }
    std::string BinFile(const std::string& name) const { return BinFolder(dir_) + name; }
    bool Launch(const std::string& arguments) const { return SystemPlatform().RunAndWait(Generator(), arguments); }

    // The stand-in's record: the values of the lines starting with `tag`.
    std::vector<std::string> Recorded(const std::string& tag) const {
        std::vector<std::string> values;
        std::ifstream record(BinFile("stand_in_record.txt"));
        for (std::string line; std::getline(record, line);) {
            if (line.starts_with(tag + " ")) {
                values.push_back(line.substr(tag.size() + 1));
            }
        }
        return values;
    }

private:
    fs::path root_;
    std::string dir_;
};

TEST(RunAndWait, MissingOrUnstartableProgramGivesFalse) {
    const StandInBind bind;
    const std::string notAProgram = bind.BinFile("notes.exe");
    std::ofstream(notAProgram) << "not a program\n";
    fs::permissions(notAProgram, fs::perms::owner_exec, fs::perm_options::add);
    SystemPlatform system;
    for (const std::string& program : {bind.BinFile("absent.exe"), BinFolder(bind.Dir()),
                                       StripTrailingBackslash(BinFolder(bind.Dir())), notAProgram}) {
        EXPECT_FALSE(system.RunAndWait(program, KeyGeneratorArguments(bind.Dir()))) << program;
    }
    EXPECT_FALSE(fs::exists(bind.BinFile("stand_in_record.txt")));
}

TEST(RunAndWait, ProgramThatExitsGivesTrueWhateverItsExitCode) {
    for (const auto& [mode, writesKey] : {std::pair{"", true}, {"no-key", false}, {"fail-after-key", true},
                                          {"exit-259", true}}) {
        const StandInBind bind(mode);
        const Clock::time_point started = Clock::now();
        EXPECT_TRUE(bind.Launch(KeyGeneratorArguments(bind.Dir()))) << mode;
        // 259 is an exit code like any other, not "still running".
        EXPECT_LT(Clock::now() - started, 30s) << mode;
        EXPECT_EQ(fs::exists(EtcFile(bind.Dir(), "rndc.key")), writesKey) << mode;
    }
}

TEST(RunAndWait, ProgramRunsInItsFolderWithTheWordsOfTheArguments) {
    const StandInBind bind;
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {KeyGeneratorArguments(bind.Dir()),
         {"-a", "-b", "512", "-c", EtcFile(bind.Dir(), "rndc.key"), "-k", "rndc-key", "-p", "953", "-s",
          "127.0.0.1"}},
        {"  -p\t\"9 5\t3\"   -k  rndc-key ", {"-p", "9 5\t3", "-k", "rndc-key"}},
    };
    for (const auto& [arguments, words] : rows) {
        ASSERT_TRUE(bind.Launch(arguments));
        EXPECT_EQ(bind.Recorded("arg"), words);
        EXPECT_EQ(bind.Recorded("cwd"), std::vector<std::string>{StripTrailingBackslash(BinFolder(bind.Dir()))});
    }
}

#ifndef _WIN32
TEST(RunAndWait, ProgramGetsTheDefaultSigpipeThatTheToolIgnores) {
    const StandInBind bind;
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    const bool ran = bind.Launch(KeyGeneratorArguments(bind.Dir()));
    std::signal(SIGPIPE, previous);
    ASSERT_TRUE(ran);
    EXPECT_EQ(bind.Recorded("sigpipe"), std::vector<std::string>{"default"});
}
#endif

TEST(RunAndWait, ProgramThatNeverExitsIsKilledAtTheDeadline) {
    const StandInBind bind("hang");
    const Clock::time_point started = Clock::now();
    EXPECT_FALSE(RunAndWaitWithin(bind.Generator(), KeyGeneratorArguments(bind.Dir()), 3s));
    const Clock::duration took = Clock::now() - started;
    EXPECT_GE(took, 3s);
    EXPECT_LT(took, 20s);

    // It no longer runs: its heartbeat has stopped.
    const std::string heartbeat = bind.BinFile("stand_in_heartbeat");
    ASSERT_TRUE(fs::exists(heartbeat));
    const auto beats = fs::file_size(heartbeat);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(fs::file_size(heartbeat), beats);
#ifndef _WIN32
    // And it was reaped: a zombie would still take signals.
    const std::vector<std::string> pid = bind.Recorded("pid");
    ASSERT_EQ(pid.size(), 1u);
    EXPECT_EQ(::kill(static_cast<pid_t>(std::stol(pid[0])), 0), -1);
    EXPECT_EQ(errno, ESRCH);
#endif
}

}  // namespace
}  // namespace zephrane
