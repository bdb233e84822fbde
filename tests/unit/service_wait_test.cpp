// The wait for a service state, against scripted status records and a fake clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/service_wait.h"

namespace zephrane {
namespace {

constexpr ServiceWaitLimits kLimits = kScmWaitLimits;

using Answer = std::optional<ServiceStatus>;  // nullopt: the query fails

constexpr ServiceState kStopped = ServiceState::Stopped;
constexpr ServiceState kRunning = ServiceState::Running;
constexpr ServiceState kStartPending = ServiceState::StartPending;
constexpr ServiceState kStopPending = ServiceState::StopPending;

Answer Pending(ServiceState state, std::uint32_t checkPoint, std::uint32_t waitHint) {
    return ServiceStatus{state, checkPoint, waitHint};
}
Answer Settled(ServiceState state) { return ServiceStatus{state, 0, 0}; }
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

Outcome Drive(const Script& script, ServiceState target, ServiceState pending,
              const ServiceWaitLimits& limits = kLimits) {
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
    outcome.reached = DriveService(driver, target, pending, limits);
    outcome.elapsedMs = now - begin;
    EXPECT_LT(outcome.queries, 100000) << "the wait did not end";
    return outcome;
}

Outcome Start(const Script& script) { return Drive(script, kRunning, kStartPending); }
Outcome Stop(const Script& script) { return Drive(script, kStopped, kStopPending); }

TEST(DriveService, EndsByTheScript) {
    const ServiceState kStart = kStartPending;
    const struct {
        const char* name;
        Script script;
        bool reached;
        int controls;
        std::vector<unsigned> sleeps;
    } cases[] = {
        {"already running: nothing is done", Answers({Settled(kRunning)}), true, 0, {}},
        {"first query fails", Answers({kQueryFails}), false, 0, {}},
        {"control refused", Answers({Settled(kStopped)}, false), false, 1, {}},
        {"pending with hints, then running",
         Answers({Settled(kStopped), Pending(kStart, 1, 500), Pending(kStart, 2, 700), Settled(kRunning)}),
         true, 1, {10, 500, 700}},
        {"wait hint 0 polls at the floor, never spins",
         Answers({Settled(kStopped), Pending(kStart, 0, 0), Pending(kStart, 1, 0), Settled(kRunning)}),
         true, 1, {10, 10, 10}},
        {"a long wait hint is cut to 10 s a pass",
         Answers({Settled(kStopped), Pending(kStart, 1, 60000), Settled(kRunning)}), true, 1, {10, 10000}},
        {"checkpoint goes back",
         Answers({Settled(kStopped), Pending(kStart, 3, 100), Pending(kStart, 0, 100)}), false, 1, {10, 100}},
        {"falls back to stopped while the checkpoint stays",
         Answers({Settled(kStopped), Pending(kStart, 0, 0), Settled(kStopped)}), false, 1, {10, 10}},
        {"stop pending is not start pending",
         Answers({Settled(kStopped), Pending(kStopPending, 1, 100)}), false, 1, {10}},
        {"query fails mid-wait",
         Answers({Settled(kStopped), Pending(kStart, 1, 200), kQueryFails}), false, 1, {10, 200}},
        // The service reports its pending state late, from a thread of its own.
        {"still stopped right after the start, then pending",
         Answers({Settled(kStopped), Settled(kStopped), Settled(kStopped), Pending(kStart, 1, 100),
                  Settled(kRunning)}),
         true, 1, {10, 10, 10, 100}},
        {"stopped again after it was pending: settled there",
         Answers({Settled(kStopped), Settled(kStopped), Pending(kStart, 1, 100), Settled(kStopped)}), false, 1,
         {10, 10, 100}},
        {"never leaves the state it had: the stall limit",
         Answers({Settled(kStopped)}), false, 1, std::vector<unsigned>(201, 10)},
        {"start pending already: waited for, not started again",
         Answers({Pending(kStart, 1, 100), Pending(kStart, 2, 100), Settled(kRunning)}), true, 0, {100, 100}},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Start(c.script);
        EXPECT_EQ(outcome.reached, c.reached) << c.name;
        EXPECT_EQ(outcome.controls, c.controls) << c.name;
        EXPECT_EQ(outcome.sleeps, c.sleeps) << c.name;
    }
}

TEST(DriveService, StopThatTheServiceReportsLateSucceeds) {
    const struct {
        const char* name;
        std::vector<Answer> answers;
        bool reached;
        int controls;
    } cases[] = {
        {"running twice more, then stop pending",
         {Settled(kRunning), Settled(kRunning), Settled(kRunning), Pending(kStopPending, 1, 100), Settled(kStopped)},
         true, 1},
        {"start pending: let it run first, then stopped",
         {Pending(kStartPending, 1, 100), Pending(kStartPending, 2, 100), Settled(kRunning),
          Pending(kStopPending, 1, 100), Settled(kStopped)},
         true, 1},
        {"paused: stopped at once", {Settled(ServiceState::Paused), Settled(kStopped)}, true, 1},
        {"start pending that falls back to stopped needs no stop", {Pending(kStartPending, 1, 100), Settled(kStopped)},
         true, 0},
        {"stop pending already: only waited for", {Pending(kStopPending, 1, 100), Settled(kStopped)}, true, 0},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Stop(Answers(c.answers));
        EXPECT_EQ(outcome.reached, c.reached) << c.name;
        EXPECT_EQ(outcome.controls, c.controls) << c.name;
    }
}

// systemctl returns once its job is done: what it leaves is no late report.
TEST(DriveService, WithoutLateReportsTheStateAfterTheControlIsFinal) {
    constexpr ServiceWaitLimits kSystemd{100, 100, 120000, 120000, false};
    const Outcome outcome = Drive(Answers({Settled(kStopped), Settled(kStopped)}), kRunning, kStartPending, kSystemd);
    EXPECT_FALSE(outcome.reached);
    EXPECT_EQ(outcome.sleeps, std::vector<unsigned>{100});
    const Outcome activating =
        Drive(Answers({Settled(kStopped), Settled(kStartPending), Settled(kStartPending), Settled(kRunning)}),
              kRunning, kStartPending, kSystemd);
    EXPECT_TRUE(activating.reached);
}

TEST(DriveService, StopWaitsFromTheStatusTheControlReturned) {
    Script script = Answers({Settled(kRunning), Pending(kStopPending, 2, 0), Settled(kStopped)});
    script.controlAnswer = ServiceStatus{kStopPending, 1, 300};
    const Outcome outcome = Drive(script, kStopped, kStopPending);
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
            Start(Answers({Settled(kStopped), Pending(kStartPending, 4, c.waitHint)}));
        EXPECT_FALSE(outcome.reached) << c.name;
        // Ends after the stall, within one more pass.
        EXPECT_GT(outcome.elapsedMs, c.stallMs) << c.name;
        EXPECT_LE(outcome.elapsedMs, c.stallMs + 10 + std::max(c.waitHint, kLimits.minPollMs)) << c.name;
    }
}

TEST(DriveService, ProgressKeepsTheWaitGoingUntilTheDeadline) {
    Script script = Answers({Settled(kStopped), Pending(kStartPending, 1, 10000)});
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
