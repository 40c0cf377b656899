// Building every block of a set-up file without sending anything, for a
// careful look before a transfer: the bytes each block would carry and what
// the file holds that would be cut, wrapped, ignored, refused, or missing,
// and what it gives twice.
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
    // Sections given again after the first of their name, which no lookup
    // reads, in file order.
    std::vector<Diagnostic> repeatedSections;
    // The 68 blocks in sending order.
    std::vector<BuiltBlock> blocks;
    // Keys in sections that no block reads (a misspelt section name, ...).
    std::vector<Diagnostic> strayKeys;
    bool holdsSetupData = false;

    // Every diagnostic: the loose text, the repeated sections, the blocks'
    // in order, then the stray keys.
    std::vector<Diagnostic> Diagnostics() const;
    // Nothing to report, and some set-up data to send.
    bool Clean() const;
};

CheckReport CheckSetupFile(const ini::Profile& file, int firmwareVersion);

// The 68 blocks in sending order, built for the layouts of firmwareVersion.
std::vector<BuiltBlock> BuildBlocks(const ini::Profile& file, int firmwareVersion);
// The first block (in sending order) whose values do not all convert; null
// when every block converts.
const BuiltBlock* FirstConversionError(const std::vector<BuiltBlock>& blocks);

// ---- A file made for the other firmware family ------------------------------

// The keys of the Factory and User blocks of a file that only the other
// firmware family's layouts read: the file was made for another unit.
struct FamilyMismatch {
    int firmwareVersion = 0; // the unit's
    // Keys that only the other family's layouts read: never sent.
    std::vector<Diagnostic> ignoredKeys;

    bool found() const { return !ignoredKeys.empty(); }
};

// Among the keys that no field of the unit's Factory and User layouts reads,
// those that the other family's layouts read. Nothing found: the file fits,
// or it was made for neither family.
FamilyMismatch FindOtherFamilyKeys(const ini::Profile& file, int firmwareVersion);

// Two lines for the operator: which family the file was made for, and which
// keys would be ignored.
std::string DescribeMismatch(const FamilyMismatch& mismatch);

// ---- What a send asks the operator about --------------------------------

// What makes a file unfit to be sent as it stands: blocks it writes would
// carry fields it does not give (as 0), a section of a block is given twice
// (the second is never read), or it was made for the other firmware family.
// The window and koravelctl send it only when the operator agrees.
struct SendConcerns {
    FamilyMismatch family;
    std::vector<Diagnostic> missingKeys;      // in blocks that are sent
    std::vector<Diagnostic> repeatedSections; // of blocks' sections

    bool any() const { return family.found() || !missingKeys.empty() || !repeatedSections.empty(); }
};

// The concerns of a file whose blocks were built (BuildBlocks) for the
// unit's firmware.
SendConcerns FindSendConcerns(const ini::Profile& file, int firmwareVersion,
                              const std::vector<BuiltBlock>& blocks);

// A few lines for the operator: each concern, with the keys and lines.
std::string DescribeConcerns(const SendConcerns& concerns);

// The keys of diagnostics given in section order, grouped by their section
// as the file names them (ShownText: a NUL byte as "\0"), for a text that
// lists them: "a, b in [Factory]; c in [User]".
struct SectionKeys {
    std::string section;
    std::vector<std::string> keys;
};
std::vector<SectionKeys> KeysBySection(const std::vector<Diagnostic>& items);
// The family of layouts that firmwareVersion reads: the new one from
// kNewLayoutFirmware on.
bool NewLayoutFamily(int firmwareVersion);

// "1.13" for 269.
std::string FirmwareText(int version);

} // namespace setup
