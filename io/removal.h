// A file in a folder that is removed when this goes, unless it is kept: what
// a run must not leave behind on any way out, error reports included.
#pragma once

#include <string>

#include "platform/platform.h"

namespace zephrane {

class Removal {
public:
    Removal(Folder& folder, std::string name) : folder_(folder), name_(std::move(name)) {}
    Removal(const Removal&) = delete;
    Removal& operator=(const Removal&) = delete;
    ~Removal() {
        if (!done_) {
            folder_.DeleteFile(name_);
        }
    }

    // Leaves the file where it is.
    void Keep() { done_ = true; }
    // Removes the file now; true when that worked (else it is tried again at the end).
    bool RemoveNow() {
        done_ = folder_.DeleteFile(name_);
        return done_;
    }

private:
    Folder& folder_;
    std::string name_;
    bool done_ = false;
};

}  // namespace zephrane
