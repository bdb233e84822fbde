#include "config/rollback.h"

#include "config/backup_name.h"
#include "platform/paths.h"

namespace zephrane {

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

void Rollback::EtcMovedAside(const std::string& etc, const std::string& backup, const std::string& stamp) {
    stamp_ = stamp;
    // RenameFolder never replaces: whatever sits at etc now stays, and the
    // backup stays where it is.
    Add([this, etc, backup] { return platform_.RenameFolder(backup, etc) && !platform_.DirectoryExists(backup); });
}

void Rollback::EtcCreated(const std::string& etc) {
    if (stamp_.empty()) {
        stamp_ = TimeStamp(platform_.Now());  // no backup: when this etc was made
    }
    Add([this, etc] {
        if (!platform_.DirectoryExists(etc) || platform_.RemoveFolder(etc)) {
            return true;
        }
        // Without a trailing separator, a link put in etc's place is moved itself.
        const std::string folder = StripTrailingSeparator(etc);
        platform_.RenameFolder(folder, folder + "_" + stamp_ + "_failed");
        return !platform_.DirectoryExists(etc);
    });
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
        }
    }
    return restored;
}

}  // namespace zephrane
