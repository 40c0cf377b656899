// Building every block of a set-up file without sending anything, for a
// careful look before a transfer: the bytes each block would carry and what
// the file holds that would be cut, wrapped, ignored or refused.
#pragma once

#include "setup/codec.h"
#include "setup/ini.h"

#include <vector>

namespace setup {

struct CheckReport {
    int firmwareVersion = 0;
    // The 68 blocks in sending order.
    std::vector<BuiltBlock> blocks;
    // Keys in sections that no block reads (a misspelt section name, ...).
    std::vector<Diagnostic> strayKeys;
    bool holdsSetupData = false;

    // Every diagnostic: the blocks' in order, then the stray keys.
    std::vector<Diagnostic> Diagnostics() const;
    // Nothing to report, and some set-up data to send.
    bool Clean() const;
};

CheckReport CheckSetupFile(const ini::Profile& file, int firmwareVersion);

} // namespace setup
