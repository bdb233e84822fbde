// The wait for a service state, against scripted status records and a fake clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/service_wait.h"

namespace zephrane {
namespace {

constexpr ServiceWaitLimits kLimits = kScmWaitLimits;

using Answer = std::optional<ServiceStatus>;  // nullopt: the query fails

Answer Pending(std::uint32_t state, std::uint32_t checkPoint, std::uint32_t waitHint) {
    return ServiceStatus{state, checkPoint, waitHint};
}
Answer Settled(std::uint32_t state) { return ServiceStatus{state, 0, 0}; }
const Answer kQueryFails;

struct Script {
    std::vector<Answer> answers;                 // the last one repeats
    bool controlSucceeds = true;
    bool risingCheckPoint = false;               // repeats of the last answer raise the checkpoint
    std::optional<ServiceStatus> controlAnswer;  // what the control call reports back
    unsigned controlCostMs = 0;
};

Script Answers(std::vector<Answer> answers, bool controlSucceeds = true) {
    Script script;
    script.answers = std::move(answers);
    script.controlSucceeds = controlSucceeds;
    return script;
}

struct Outcome {
    bool reached = false;
    int controls = 0;
    int queries = 0;
    std::vector<unsigned> sleeps;
    std::uint64_t elapsedMs = 0;
};

Outcome Drive(const Script& script, std::uint32_t target, std::uint32_t pending) {
    Outcome outcome;
    std::uint64_t now = 1000000;
    const ServiceDriver driver{
        [&]() {
            const std::size_t index = static_cast<std::size_t>(outcome.queries++);
            Answer answer = script.answers[std::min(index, script.answers.size() - 1)];
            if (script.risingCheckPoint && index >= script.answers.size() && answer) {
                answer->checkPoint += static_cast<std::uint32_t>(index - script.answers.size() + 1);
            }
            return answer;
        },
        [&](ServiceStatus& status) {
            ++outcome.controls;
            now += script.controlCostMs;
            if (script.controlAnswer) {
                status = *script.controlAnswer;
            }
            return script.controlSucceeds;
        },
        [&](unsigned ms) {
            outcome.sleeps.push_back(ms);
            now += ms;
        },
        [&]() { return now; },
    };
    const std::uint64_t begin = now;
    outcome.reached = DriveService(driver, target, pending, kLimits);
    outcome.elapsedMs = now - begin;
    EXPECT_LT(outcome.queries, 100000) << "the wait did not end";
    return outcome;
}

Outcome Start(const Script& script) { return Drive(script, kStateRunning, kStateStartPending); }

TEST(DriveService, EndsByTheScript) {
    const std::uint32_t kStart = kStateStartPending;
    const struct {
        const char* name;
        Script script;
        bool reached;
        int controls;
        std::vector<unsigned> sleeps;
    } cases[] = {
        {"already running: nothing is done", Answers({Settled(kStateRunning)}), true, 0, {}},
        {"first query fails", Answers({kQueryFails}), false, 0, {}},
        {"control refused", Answers({Settled(kStateStopped)}, false), false, 1, {}},
        {"pending with hints, then running",
         Answers({Settled(kStateStopped), Pending(kStart, 1, 500), Pending(kStart, 2, 700), Settled(kStateRunning)}),
         true, 1, {10, 500, 700}},
        {"wait hint 0 polls at the floor, never spins",
         Answers({Settled(kStateStopped), Pending(kStart, 0, 0), Pending(kStart, 1, 0), Settled(kStateRunning)}),
         true, 1, {10, 10, 10}},
        {"a long wait hint is cut to 10 s a pass",
         Answers({Settled(kStateStopped), Pending(kStart, 1, 60000), Settled(kStateRunning)}), true, 1, {10, 10000}},
        {"checkpoint goes back",
         Answers({Settled(kStateStopped), Pending(kStart, 3, 100), Pending(kStart, 0, 100)}), false, 1, {10, 100}},
        {"falls back to stopped while the checkpoint stays",
         Answers({Settled(kStateStopped), Pending(kStart, 0, 0), Settled(kStateStopped)}), false, 1, {10, 10}},
        {"stop pending is not start pending",
         Answers({Settled(kStateStopped), Pending(kStateStopPending, 1, 100)}), false, 1, {10}},
        {"query fails mid-wait",
         Answers({Settled(kStateStopped), Pending(kStart, 1, 200), kQueryFails}), false, 1, {10, 200}},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Start(c.script);
        EXPECT_EQ(outcome.reached, c.reached) << c.name;
        EXPECT_EQ(outcome.controls, c.controls) << c.name;
        EXPECT_EQ(outcome.sleeps, c.sleeps) << c.name;
    }
}

TEST(DriveService, StopWaitsFromTheStatusTheControlReturned) {
    Script script = Answers({Settled(kStateRunning), Pending(kStateStopPending, 2, 0), Settled(kStateStopped)});
    script.controlAnswer = ServiceStatus{kStateStopPending, 1, 300};
    const Outcome outcome = Drive(script, kStateStopped, kStateStopPending);
    EXPECT_TRUE(outcome.reached);
    EXPECT_EQ(outcome.sleeps, (std::vector<unsigned>{300, 10}));
}

TEST(DriveService, NoProgressForLongerThanTheHintIsFailure) {
    const struct {
        const char* name;
        std::uint32_t waitHint;
        std::uint64_t stallMs;  // time without progress that ends the wait
    } cases[] = {
        {"hint below the minimum", 300, kLimits.minStallMs},
        {"hint 0", 0, kLimits.minStallMs},
        {"long hint", 5000, 5000},
    };
    for (const auto& c : cases) {
        const Outcome outcome =
            Start(Answers({Settled(kStateStopped), Pending(kStateStartPending, 4, c.waitHint)}));
        EXPECT_FALSE(outcome.reached) << c.name;
        // Ends after the stall, within one more pass.
        EXPECT_GT(outcome.elapsedMs, c.stallMs) << c.name;
        EXPECT_LE(outcome.elapsedMs, c.stallMs + 10 + std::max(c.waitHint, kLimits.minPollMs)) << c.name;
    }
}

TEST(DriveService, ProgressKeepsTheWaitGoingUntilTheDeadline) {
    Script script = Answers({Settled(kStateStopped), Pending(kStateStartPending, 1, 10000)});
    script.risingCheckPoint = true;
    const Outcome outcome = Start(script);
    EXPECT_FALSE(outcome.reached);
    EXPECT_EQ(outcome.elapsedMs, kLimits.deadlineMs);
    EXPECT_EQ(outcome.sleeps.size(), 13u);  // 10 ms, then 10 s passes to the deadline

    // A slow control call counts against the same deadline.
    script.controlCostMs = kLimits.deadlineMs - 50;
    const Outcome slow = Start(script);
    EXPECT_FALSE(slow.reached);
    EXPECT_EQ(slow.elapsedMs, kLimits.deadlineMs);
}

}  // namespace
}  // namespace zephrane
