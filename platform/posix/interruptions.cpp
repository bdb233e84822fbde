// Interruptions held: the signals a user or the system sends to end a run
// are blocked, asked for and, once the run has answered them, consumed.
#include <csignal>
#include <ctime>

#include "platform/system_platform.h"

namespace zephrane {
namespace {

class BlockedSignals final : public HeldInterruptions {
public:
    BlockedSignals() {
        sigemptyset(&held_);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            sigaddset(&held_, signal);
        }
        ::pthread_sigmask(SIG_BLOCK, &held_, &previous_);
    }
    BlockedSignals(const BlockedSignals&) = delete;
    BlockedSignals& operator=(const BlockedSignals&) = delete;
    ~BlockedSignals() override {
        const timespec none{};
        while (::sigtimedwait(&held_, nullptr, &none) > 0) {
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

    bool Requested() override {
        sigset_t pending;
        if (::sigpending(&pending) != 0) {
            return false;
        }
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            if (sigismember(&pending, signal) == 1) {
                return true;
            }
        }
        return false;
    }

private:
    sigset_t held_;
    sigset_t previous_;
};

}  // namespace

std::unique_ptr<HeldInterruptions> SystemPlatform::HoldInterruptions() { return std::make_unique<BlockedSignals>(); }

}  // namespace zephrane
