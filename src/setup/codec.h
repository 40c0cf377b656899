// Turns one section of a set-up file into the argument of a block write:
// the block number (2 bytes, low byte first), then each field of the layout
// in order. A number goes out as its lowest `width` bytes, low byte first;
// a text goes out as its first `width` bytes, padded with 0x00. A missing
// number counts as 0, a missing text as empty; the hidden "!checksum" field
// is read from the key "!checksum". Pure: nothing is sent.
//
// The same walk notes what a careful reader of the file wants to know (the
// `check` command prints it, and a send asks before it sends a block with
// fields the file does not give): texts that are cut, numbers that do not
// fit their field, fields the file does not give, keys given twice, keys that
// no field reads, and values that are not integers, each with its section,
// key and line.
#pragma once

#include "ini/profile.h"
#include "protocol/bytes.h"
#include "setup/layouts.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

struct Diagnostic {
    enum class Kind {
        TextCut,            // a text longer than its field
        NumberWraps,        // a number outside what its field holds
        UnreadKey,          // a key that no field reads
        NotAnInteger,       // a value that does not convert
        TextBeforeSections, // a line above the first section (no section, no key)
        MissingKey,         // a field the section does not give: 0 (texts 0x00 bytes) goes out
        RepeatedKey,        // a key given again in its section: the first is read
        RepeatedSection,    // a section given again: the first is read
    };
    Kind kind = Kind::UnreadKey;
    std::string section;
    std::string key;
    // 1-based line in the file, 0 when unknown; for a missing key, its
    // section's header.
    int line = 0;
    std::string value;
    int width = 0;     // the field's width, for TextCut, NumberWraps and MissingKey
    bool text = false; // MissingKey: a text field
    // RepeatedKey, RepeatedSection: the line of the one that is read.
    int usedLine = 0;
};

// One line of text for a diagnostic: "line 12: [User] welcome: ...".
// Text from the file is shown as it stands (a NUL byte as "\0"), cut to
// kShownTextBytes.
std::string Describe(const Diagnostic& d);
constexpr std::size_t kShownTextBytes = 60;

struct BuiltBlock {
    BlockSpec spec;
    // The section is absent or holds no key: the block is not written.
    bool skipped = false;
    // Block number and block bytes; empty when skipped or on a conversion error.
    koravel::Bytes argument;
    // The first value that is not an integer, as "'x' is not a valid integer value".
    std::optional<std::string> conversionError;
    // In layout order; then keys given twice and keys no field reads, in
    // file order.
    std::vector<Diagnostic> diagnostics;
};

// Builds the write of one block from its section of file.
BuiltBlock BuildBlock(const ini::Profile& file, const BlockSpec& spec);

// True when a number fits a field of width bytes without losing bits that
// matter: -(2^(8w-1)) up to 2^(8w)-1.
bool FitsWidth(std::int64_t value, int width);

} // namespace setup
