// Reading a set-up file for a transfer or a check: a file that cannot be
// read, or that holds no set-up data, is refused with its reason.
#pragma once

#include "ini/profile.h"

#include <optional>
#include <string>

namespace setup {

struct OpenedFile {
    enum class Problem {
        None,
        Unreadable,  // missing, unreadable, not a regular file, too large
        NoSetupData, // none of the 68 set-up sections holds a key
    };
    std::optional<ini::Profile> file; // set when problem is None
    Problem problem = Problem::None;
    std::string reason;  // the system's or the reader's reason, for Unreadable
    std::string message; // a full sentence for the user

    bool ok() const { return problem == Problem::None; }
};

// Reads a set-up file. A file that cannot be read, or that holds no set-up
// data, is refused with a reason: sending it would write nothing while
// reporting success.
OpenedFile OpenSetupFile(const std::string& path);

// True when at least one of the 68 set-up sections holds a key.
bool HoldsSetupData(const ini::Profile& file);

} // namespace setup
