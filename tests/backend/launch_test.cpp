// Launching the key generator on the real system, with a stand-in generator
// (tests/fixtures/stand_in_keygen.cpp) in a temporary BIND installation.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
#ifndef _WIN32
#include <cerrno>
#include <csignal>
#endif

#include "config/config_files.h"
#include "config/control_key.h"
#include "config/install_paths.h"
#include "platform/launch.h"
#include "platform/paths.h"
#include "platform/system_platform.h"
#include "tests/backend/temp_folder.h"

namespace zephrane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::ReadBytes;
using testing::TempFolder;

const std::string kSep(1, kPathSeparator);
const std::string kSecretLine = "\tsecret \"U3RhbmQtaW4gc2VjcmV0IGZvciB0ZXN0cw==\";";

// A BIND installation whose key generator is the stand-in, in `mode`.
class StandInBind {
public:
    explicit StandInBind(const std::string& mode = "") : dir_(temp_.Create("ISC BIND 9")) {
        std::filesystem::create_directory(dir_ + "bin");
        std::filesystem::create_directory(dir_ + "etc");
        SystemPlatform system;
        const std::string standIn = ExtractFilePath(system.ExecutablePath()) + "stand_in_keygen" +
                                    (kHasDriveMark ? ".exe" : "");
        std::filesystem::copy_file(standIn, Generator());
        if (!mode.empty()) {
            std::ofstream(BinFile("stand_in_mode")) << mode;
        }
    }

    const std::string& Dir() const { return dir_; }
    std::string Generator() const { return KeyGeneratorPath(dir_); }
    std::string KeyFile() const { return EtcFile(dir_, "rndc.key"); }
    std::string BinFile(const std::string& name) const { return BinFolder(dir_) + name; }

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
    TempFolder temp_;
    std::string dir_;
};

bool Launch(const StandInBind& bind, const std::string& arguments) {
    SystemPlatform system;
    return system.RunAndWait(bind.Generator(), arguments);
}

TEST(RunAndWait, MissingOrUnstartableProgramGivesFalse) {
    StandInBind bind;
    const std::string arguments = KeyGeneratorArguments(bind.Dir());
    SystemPlatform system;
    EXPECT_FALSE(system.RunAndWait(bind.BinFile("absent.exe"), arguments));
    EXPECT_FALSE(system.RunAndWait(BinFolder(bind.Dir()), arguments));
    EXPECT_FALSE(system.RunAndWait(StripTrailingBackslash(BinFolder(bind.Dir())), arguments));
    const std::string notAProgram = bind.BinFile("notes.exe");
    std::ofstream(notAProgram) << "not a program\n";
    std::filesystem::permissions(notAProgram, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    EXPECT_FALSE(system.RunAndWait(notAProgram, arguments));
    EXPECT_FALSE(std::filesystem::exists(bind.BinFile("stand_in_record.txt")));
}

TEST(RunAndWait, ProgramThatExitsGivesTrueWhateverItsExitCode) {
    struct Row {
        const char* mode;
        bool writesKey;
    };
    for (const Row& row : {Row{"", true}, Row{"no-key", false}, Row{"fail-after-key", true}, Row{"exit-259", true}}) {
        StandInBind bind(row.mode);
        const Clock::time_point started = Clock::now();
        EXPECT_TRUE(Launch(bind, KeyGeneratorArguments(bind.Dir()))) << row.mode;
        // 259 is an exit code like any other, not "still running".
        EXPECT_LT(Clock::now() - started, 30s) << row.mode;
        EXPECT_EQ(std::filesystem::exists(bind.KeyFile()), row.writesKey) << row.mode;
    }
}

TEST(RunAndWait, ProgramRunsInItsFolderWithTheWordsOfTheArguments) {
    struct Row {
        std::string arguments;
        std::vector<std::string> words;
    };
    StandInBind bind;
    const std::vector<Row> rows = {
        {KeyGeneratorArguments(bind.Dir()),
         {"-a", "-b", "512", "-c", bind.Dir() + "etc" + kSep + "rndc.key", "-k", "rndc-key", "-p", "953", "-s",
          "127.0.0.1"}},
        {"  -p\t\"9 5\t3\"   -k  rndc-key ", {"-p", "9 5\t3", "-k", "rndc-key"}},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(Launch(bind, row.arguments));
        EXPECT_EQ(bind.Recorded("arg"), row.words);
        EXPECT_EQ(bind.Recorded("cwd"), std::vector<std::string>{StripTrailingBackslash(BinFolder(bind.Dir()))});
    }
}

#ifndef _WIN32
TEST(RunAndWait, ProgramGetsTheDefaultSigpipeThatTheToolIgnores) {
    StandInBind bind;
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    const bool ran = Launch(bind, KeyGeneratorArguments(bind.Dir()));
    std::signal(SIGPIPE, previous);
    ASSERT_TRUE(ran);
    EXPECT_EQ(bind.Recorded("sigpipe"), std::vector<std::string>{"default"});
}
#endif

TEST(RunAndWait, ProgramThatNeverExitsIsKilledAtTheDeadline) {
    StandInBind bind("hang");
    const Clock::time_point started = Clock::now();
    EXPECT_FALSE(RunAndWaitWithin(bind.Generator(), KeyGeneratorArguments(bind.Dir()), 3s));
    const Clock::duration took = Clock::now() - started;
    EXPECT_GE(took, 3s);
    EXPECT_LT(took, 20s);

    // It no longer runs: its heartbeat has stopped.
    const std::string heartbeat = bind.BinFile("stand_in_heartbeat");
    ASSERT_TRUE(std::filesystem::exists(heartbeat));
    const auto beats = std::filesystem::file_size(heartbeat);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(std::filesystem::file_size(heartbeat), beats);
#ifndef _WIN32
    // And it was reaped: a zombie would still take signals.
    const std::vector<std::string> pid = bind.Recorded("pid");
    ASSERT_EQ(pid.size(), 1u);
    EXPECT_EQ(::kill(static_cast<pid_t>(std::stol(pid[0])), 0), -1);
    EXPECT_EQ(errno, ESRCH);
#endif
}

std::string Joined(const KeyLines& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + std::string(kLineEnd);
    }
    return text;
}

TEST(KeyCapture, GeneratedKeyLinesLandUnchangedInBothFiles) {
    StandInBind bind("blank-line");
    SystemPlatform system;
    ASSERT_TRUE(GenerateKey(system, bind.Dir()));
    const KeyLines key = ReadKeyLines(system, bind.KeyFile());
    EXPECT_EQ(key, (KeyLines{"key \"rndc-key\" {", "\talgorithm hmac-md5;", "", kSecretLine, "};"}));

    WriteRndcConf(system, bind.Dir(), key);
    WriteNamedConf(system, bind.Dir(), key);
    const std::string end(kLineEnd);
    EXPECT_TRUE(ReadBytes(EtcFile(bind.Dir(), "rndc.conf")).starts_with(Joined(key) + end + "options {" + end));
    EXPECT_NE(ReadBytes(EtcFile(bind.Dir(), "named.conf")).find(end + end + Joined(key) + end + "controls {" + end),
              std::string::npos);
}

}  // namespace
}  // namespace zephrane
