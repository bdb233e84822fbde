// What a configuration run changes on the machine, recorded before each
// change is made, so that a run that fails puts the machine back as it was:
// named's state and start type, the etc folder and its backup. A change the
// system makes and then reports as an error is undone all the same: each
// undo looks at what is there.
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
    // named is started again only on the old etc: not when etc could not be
    // put back.
    void NamedStopping(const std::string& name, StartType startType);
    void NamedStarting(const std::string& name, StartType startType);
    // etc is about to be moved to `backup`, named etc_<stamp>: undone by
    // moving the backup back, if the move was made.
    void EtcMovingAside(const std::string& etc, const std::string& backup, const std::string& stamp);
    // A new etc is about to be made: undone, if a folder is there, by
    // removing it when empty, else by moving it aside as the first free name
    // of etc_<stamp>_failed, etc_<stamp>_failed2, ... (the backup's stamp,
    // else now).
    void EtcCreating(const std::string& etc);

    // Undoes every change, the last first; true when everything was put
    // back. Never throws: a step that fails counts as not put back.
    bool Undo();

private:
    void Add(std::function<bool()> undo);
    // Whether etc is gone once what sits there is removed or moved aside.
    bool MoveAside(const std::string& etc);

    Platform& platform_;
    std::unique_ptr<HeldInterruptions> held_;
    std::vector<std::function<bool()>> undo_;
    std::string stamp_;         // for the failed etc's name
    bool etcRestored_ = true;   // no undo of etc has failed
};

}  // namespace zephrane
