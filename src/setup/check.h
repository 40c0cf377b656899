// Building every block of a set-up file without sending anything, for a
// careful look before a transfer: the bytes each block would carry and what
// the file holds that would be cut, wrapped, ignored or refused.
#pragma once

#include "ini/profile.h"
#include "setup/codec.h"

#include <string>
#include <vector>

namespace setup {

struct CheckReport {
    int firmwareVersion = 0;
    // Lines above the first section, which no block reads.
    std::vector<Diagnostic> looseText;
    // The 68 blocks in sending order.
    std::vector<BuiltBlock> blocks;
    // Keys in sections that no block reads (a misspelt section name, ...).
    std::vector<Diagnostic> strayKeys;
    bool holdsSetupData = false;

    // Every diagnostic: the loose text, the blocks' in order, then the stray
    // keys.
    std::vector<Diagnostic> Diagnostics() const;
    // Nothing to report, and some set-up data to send.
    bool Clean() const;
};

CheckReport CheckSetupFile(const ini::Profile& file, int firmwareVersion);

// ---- A file made for the other firmware family ------------------------------

struct FieldRef {
    std::string section;
    std::string key;
};

// What the Factory and User blocks of a file lose when they are built for a
// unit of firmwareVersion although the file was made for the other layouts.
struct FamilyMismatch {
    int firmwareVersion = 0; // the unit's
    // Keys that only the other family's layouts read: never sent.
    std::vector<Diagnostic> ignoredKeys;
    // Fields of the unit's layouts that the file does not give (in blocks
    // that are sent): they go out as 0, texts as 0x00 bytes.
    std::vector<FieldRef> zeroFields;

    bool found() const { return !ignoredKeys.empty(); }
};

// Among the keys that no field of the unit's Factory and User layouts reads,
// those that the other family's layouts read. Nothing found: the file fits,
// or it was made for neither family.
FamilyMismatch FindOtherFamilyKeys(const ini::Profile& file, int firmwareVersion);

// A few lines for the operator: which family the file was made for, which
// keys would be ignored and which fields would go out as 0.
std::string DescribeMismatch(const FamilyMismatch& mismatch);

// "1.13" for 269.
std::string FirmwareText(int version);

} // namespace setup
