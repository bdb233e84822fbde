// Running a helper and reading its output. The child's signal dispositions
// come from the launcher's module and are checked there (launch_test.cpp).
#include <gtest/gtest.h>

#include <chrono>

#include "platform/posix/run_capture.h"

namespace zephrane {
namespace {

TEST(RunCapture, ReturnsExitStatusAndStandardOutput) {
    // Arguments as given (no shell), empty input (not ours), errors with the output.
    const std::optional<Captured> got =
        RunCapture("sh", {"-c", "cat; echo err >&2; printf '%s|' \"$@\"; exit 3", "x", "a b", "*", "$HOME"}, 10000);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->exitStatus, 3);
    EXPECT_EQ(got->output, "err\na b|*|$HOME|");
    EXPECT_FALSE(RunCapture("zephrane-no-such-program", {}, 10000));
}

TEST(RunCapture, KillsAProgramThatOutlivesTheTimeout) {
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(RunCapture("sleep", {"30"}, 300)->exitStatus, -1);
    // Also when it closed its output first.
    EXPECT_EQ(RunCapture("sh", {"-c", "exec >&- 2>&-; sleep 30"}, 300)->exitStatus, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
}

}  // namespace
}  // namespace zephrane
