// The wait for a service state, shared by both backends, against scripted
// status records and a fake clock.
#include <gtest/gtest.h>

#include <vector>

#include "platform/service_wait.h"

namespace zephrane {
namespace {

using Answer = std::optional<ServiceStatus>;  // nullopt: the query fails

constexpr ServiceState kStopped = ServiceState::Stopped;
constexpr ServiceState kRunning = ServiceState::Running;
constexpr ServiceState kStarting = ServiceState::StartPending;
constexpr ServiceState kStopping = ServiceState::StopPending;
constexpr unsigned kAny = ~0u;  // a sleep pattern or time not checked
constexpr ServiceWaitLimits kSystemd{100, 100, 120000, 120000, false};

Answer At(ServiceState state, std::uint32_t checkPoint = 0, std::uint32_t waitHint = 0) {
    return ServiceStatus{state, checkPoint, waitHint};
}

struct Row {
    const char* name;
    bool start;                  // else stop
    std::vector<Answer> answers;  // one a query; the last repeats, its checkpoint rising with `rising`
    bool reached;
    int controls = 1;
    std::vector<unsigned> sleeps = {kAny};
    unsigned elapsedMs = kAny;  // exactly, when given
    bool controlSucceeds = true;
    Answer controlAnswer = std::nullopt;  // what the control call reports back
    bool rising = false;
    unsigned controlCostMs = 0;
    ServiceWaitLimits limits = kScmWaitLimits;
};

TEST(DriveService, EndsAsTheServiceBehaves) {
    const Row rows[] = {
        {"already running: nothing is done", true, {At(kRunning)}, true, 0, {}},
        {"first query fails", true, {std::nullopt}, false, 0, {}},
        {"control refused", true, {At(kStopped)}, false, 1, {}, kAny, false},
        {"pending with hints, then running", true,
         {At(kStopped), At(kStarting, 1, 500), At(kStarting, 2, 700), At(kRunning)}, true, 1, {10, 500, 700}},
        {"hint 0 polls at the floor, never spins", true, {At(kStopped), At(kStarting), At(kStarting, 1), At(kRunning)},
         true, 1, {10, 10, 10}},
        {"a long hint is cut to 10 s a pass", true, {At(kStopped), At(kStarting, 1, 60000), At(kRunning)}, true, 1,
         {10, 10000}},
        {"checkpoint goes back: begun over", true, {At(kStopped), At(kStarting, 3, 100), At(kStarting, 0, 100)}, false,
         1, {10, 100}},
        {"stop pending is not start pending", true, {At(kStopped), At(kStopping, 1, 100)}, false, 1, {10}},
        {"query fails mid-wait", true, {At(kStopped), At(kStarting, 1, 200), std::nullopt}, false, 1, {10, 200}},
        // A service reports its pending state from a thread of its own, late.
        {"still stopped right after the start, then pending", true,
         {At(kStopped), At(kStopped), At(kStopped), At(kStarting, 1, 100), At(kRunning)}, true, 1, {10, 10, 10, 100}},
        {"stopped again after it was pending: settled there", true,
         {At(kStopped), At(kStopped), At(kStarting, 1, 100), At(kStopped)}, false, 1, {10, 10, 100}},
        {"never leaves the state it had: failure at the stall limit", true, {At(kStopped)}, false, 1,
         std::vector<unsigned>(201, 10)},
        {"start pending already: waited for, not started again", true,
         {At(kStarting, 1, 100), At(kStarting, 2, 100), At(kRunning)}, true, 0, {100, 100}},
        {"stop pending already: waited for, not stopped again", false,
         {At(kStopping, 1, 100), At(kStopping, 2, 100), At(kStopped)}, true, 0, {100, 100}},
        {"still running twice after the stop, then pending", false,
         {At(kRunning), At(kRunning), At(kRunning), At(kStopping, 1, 100), At(kStopped)}, true},
        {"start pending: let run first, then stopped", false,
         {At(kStarting, 1, 100), At(kStarting, 2, 100), At(kRunning), At(kStopping, 1, 100), At(kStopped)}, true},
        {"paused: stopped at once", false, {At(ServiceState::Paused), At(kStopped)}, true},
        {"start pending falling back to stopped needs no stop", false, {At(kStarting, 1, 100), At(kStopped)}, true, 0},
        {"the wait begins from what the stop reported", false, {At(kRunning), At(kStopping, 2), At(kStopped)}, true, 1,
         {300, 10}, kAny, true, At(kStopping, 1, 300)},
        {"no progress for longer than the hint (5 s)", true, {At(kStopped), At(kStarting, 4, 5000)}, false, 1, {kAny},
         10010},
        {"progress keeps the wait going to the deadline", true, {At(kStopped), At(kStarting, 1, 10000)}, false, 1,
         {kAny}, 120000, true, std::nullopt, true},
        {"a slow control call counts against the deadline", true, {At(kStopped), At(kStarting, 1, 10000)}, false, 1,
         {kAny}, 120000, true, std::nullopt, true, 119950},
        // systemctl returns once its job is done: what it leaves is final.
        {"systemd: stopped after the start is settled", true, {At(kStopped)}, false, 1, {100}, kAny, true,
         std::nullopt, false, 0, kSystemd},
        {"systemd: activating, then active", true, {At(kStopped), At(kStarting), At(kRunning)}, true, 1, {100, 100},
         kAny, true, std::nullopt, false, 0, kSystemd},
    };
    for (const Row& row : rows) {
        std::uint64_t now = 1000000;
        std::size_t queries = 0;
        int controls = 0;
        std::vector<unsigned> sleeps;
        const ServiceDriver driver{
            [&] {
                Answer answer = row.answers[std::min(queries, row.answers.size() - 1)];
                if (row.rising && queries >= row.answers.size()) {
                    answer->checkPoint += static_cast<std::uint32_t>(queries - row.answers.size() + 1);
                }
                ++queries;
                return answer;
            },
            [&](ServiceStatus& status) {
                ++controls;
                now += row.controlCostMs;
                status = row.controlAnswer.value_or(status);
                return row.controlSucceeds;
            },
            [&](unsigned ms) { sleeps.push_back(ms), now += ms; },
            [&] { return now; },
        };
        const ServiceState target = row.start ? kRunning : kStopped;
        EXPECT_EQ(DriveService(driver, target, row.start ? kStarting : kStopping, row.limits), row.reached) << row.name;
        EXPECT_EQ(controls, row.controls) << row.name;
        if (row.sleeps != std::vector<unsigned>{kAny}) {
            EXPECT_EQ(sleeps, row.sleeps) << row.name;
        }
        if (row.elapsedMs != kAny) {
            EXPECT_EQ(now - 1000000, row.elapsedMs) << row.name;
        }
    }
}

}  // namespace
}  // namespace zephrane
