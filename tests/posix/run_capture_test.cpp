// Running a helper and reading its output.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include "platform/posix/run_capture.h"

namespace zephrane {
namespace {

TEST(RunCapture, ReturnsExitStatusAndStandardOutput) {
    std::signal(SIGPIPE, SIG_IGN);  // as the tool runs
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::optional<Captured> expected;
    } cases[] = {
        {"arguments as given, no shell", {"-c", "printf '%s|' \"$@\"", "x", "a b", "*", "$HOME"}, Captured{0, "a b|*|$HOME|"}},
        {"exit status", {"-c", "echo partial; exit 3"}, Captured{3, "partial\n"}},
        {"errors are not captured", {"-c", "echo out; echo err >&2"}, Captured{0, "out\n"}},
        {"input is empty, not ours", {"-c", "cat; echo end"}, Captured{0, "end\n"}},
        {"SIGPIPE is back at its default", {"-c", "kill -PIPE $$; echo survived"}, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<Captured> got = RunCapture("sh", c.args, 10000);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.name;
        if (got) {
            EXPECT_EQ(got->exitStatus, c.expected->exitStatus) << c.name;
            EXPECT_EQ(got->output, c.expected->output) << c.name;
        }
    }
    EXPECT_FALSE(RunCapture("zephrane-no-such-program", {}, 10000));
}

TEST(RunCapture, KillsAProgramThatOutlivesTheTimeout) {
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunCapture("sleep", {"30"}, 300));
    // Also when it closed its output first.
    EXPECT_FALSE(RunCapture("sh", {"-c", "exec >&-; sleep 30"}, 300));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
}

}  // namespace
}  // namespace zephrane
