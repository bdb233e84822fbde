#include "config/rollback.h"

#include "config/backup_name.h"
#include "platform/paths.h"

namespace zephrane {
namespace {

// A change that may be reported as an error after it was made (a disk that
// cannot write it through): what is there afterwards tells what it did.
void Attempt(const std::function<void()>& change) {
    try {
        change();
    } catch (...) {
    }
}

}  // namespace

void Rollback::BeginChanges() {
    if (!held_) {
        held_ = platform_.HoldInterruptions();
    }
}

void Rollback::Add(std::function<bool()> undo) {
    BeginChanges();
    undo_.push_back(std::move(undo));
}

void Rollback::NamedStopping(const std::string& name, StartType startType) {
    Add([this, name, startType] {
        // Left stopped, and to start on demand only, on whatever sits at etc.
        if (!etcRestored_) {
            return false;
        }
        // Started before its start type goes back: a service may run while
        // disabled, but a disabled one cannot be started.
        const bool started = platform_.StartServiceAndWait(name);
        return platform_.SetServiceStartType(name, startType) && started;
    });
}

void Rollback::NamedStarting(const std::string& name, StartType startType) {
    Add([this, name, startType] {
        // Whatever the failed start left, named must not hold the new
        // configuration while the old one goes back.
        const ServiceState state = platform_.GetServiceState(name);
        const bool stopped = state == ServiceState::Stopped || platform_.StopServiceAndWait(name);
        return platform_.SetServiceStartType(name, startType) && stopped;
    });
}

void Rollback::EtcMovingAside(const std::string& etc, const std::string& backup, const std::string& stamp) {
    stamp_ = stamp;
    // A rename never replaces: a folder under the backup's name now (an
    // earlier run's in the same second) is not ours to move.
    const bool taken = platform_.DirectoryExists(backup);
    Add([this, etc, backup, taken] {
        if (taken || !platform_.DirectoryExists(backup)) {
            return true;  // etc was not moved
        }
        // Never over whatever sits at etc by now.
        Attempt([&] { platform_.RenameFolder(backup, etc); });
        const bool back = !platform_.DirectoryExists(backup) && platform_.DirectoryExists(etc);
        etcRestored_ = etcRestored_ && back;
        return back;
    });
}

void Rollback::EtcCreating(const std::string& etc) {
    if (stamp_.empty()) {
        stamp_ = TimeStamp(platform_.Now());  // no backup: when this etc was made
    }
    Add([this, etc] {
        if (platform_.DirectoryExists(etc)) {
            Attempt([&] { platform_.RemoveFolder(etc); });
        }
        const bool gone = !platform_.DirectoryExists(etc) || MoveAside(etc);
        etcRestored_ = etcRestored_ && gone;
        return gone;
    });
}

bool Rollback::MoveAside(const std::string& etc) {
    // Without a trailing separator, a link put in etc's place is moved itself.
    const std::string folder = StripTrailingSeparator(etc);
    for (unsigned number = 1;; ++number) {
        const std::string name = folder + "_" + stamp_ + "_failed" + (number > 1 ? std::to_string(number) : "");
        Attempt([&] { platform_.RenameFolder(folder, name); });
        if (!platform_.DirectoryExists(etc)) {
            return true;
        }
        // Taken by an earlier failed run in the same second: the next name.
        if (!platform_.DirectoryExists(name) && !platform_.FileExists(name)) {
            return false;
        }
    }
}

bool Rollback::Undo() {
    if (held_) {
        held_->Answer();  // a closing console leaves the undo only moments
    }
    bool restored = true;
    while (!undo_.empty()) {  // the last change first
        const std::function<bool()> undo = std::move(undo_.back());
        undo_.pop_back();
        try {
            restored = undo() && restored;
        } catch (...) {
            restored = false;
            etcRestored_ = false;  // what sits at etc is not known: named is not started on it
        }
    }
    return restored;
}

}  // namespace zephrane
