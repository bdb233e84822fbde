// What a configuration run changes on the machine, recorded as it is
// changed, so that a run that fails puts the machine back as it was: named's
// state and start type, the etc folder and its backup.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zephrane {

class Rollback {
public:
    explicit Rollback(Platform& platform) : platform_(platform) {}
    Rollback(const Rollback&) = delete;
    Rollback& operator=(const Rollback&) = delete;

    // Called before the run's first change: from then on, an interruption
    // waits for the step under way to end, and is answered by the undo.
    void BeginChanges();
    // Whether an interruption came since the first change.
    bool Interrupted() const { return held_ && held_->Requested(); }

    // named, in `startType`, is about to be stopped (it ran) or started
    // (it did not): undone by bringing it back to that state and start type.
    void NamedStopping(const std::string& name, StartType startType);
    void NamedStarting(const std::string& name, StartType startType);
    // etc was moved to `backup`, named etc_<stamp>.
    void EtcMovedAside(const std::string& etc, const std::string& backup, const std::string& stamp);
    // The run made a new etc: undone by removing it when empty, else by
    // moving it aside as etc_<stamp>_failed (the backup's stamp, else now).
    void EtcCreated(const std::string& etc);

    // Undoes every change, the last first; true when everything was put
    // back. Never throws: a step that fails counts as not put back.
    bool Undo();

private:
    void Add(std::function<bool()> undo);

    Platform& platform_;
    std::unique_ptr<HeldInterruptions> held_;
    std::vector<std::function<bool()>> undo_;
    std::string stamp_;  // for the failed etc's name
};

}  // namespace zephrane
