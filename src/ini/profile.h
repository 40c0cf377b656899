// INI files read and written with the rules of the Windows profile API
// (GetPrivateProfileString / WritePrivateProfileString):
//  - "[name]" starts a section; "key=value" lines belong to the section above;
//  - section and key names compare without regard to case; the first match wins;
//  - blanks around keys and values are trimmed; a value in matching quotes
//    ('...' or "...") is unquoted;
//  - writing a key replaces its line in place, adds a missing key at the end
//    of its section and a missing section at the end of the file, and leaves
//    every other line (comments, unknown keys, other sections) untouched;
//  - a UTF-8 byte-order mark at the very start (as many text editors save
//    one) is not part of the first line, and stays in the text when the file
//    is written back.
// Text is kept as bytes; nothing is converted. No Qt.
#pragma once

#include "ini/name_index.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

// The UTF-8 byte-order mark.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Files larger than this are refused by Load.
constexpr std::size_t kMaxFileSize = 4u * 1024u * 1024u;

class Profile {
public:
    Profile() = default;
    // Parses text as it stands (LF or CR LF line ends, any bytes).
    static Profile FromText(std::string text);

    // Reads a regular file. Returns nullopt and sets error to a readable
    // reason ("No such file or directory", "larger than 4 MiB", "is a FIFO",
    // ...) when the file cannot be read; an absent file is such a failure,
    // and anything that is not a regular file is refused at once.
    static std::optional<Profile> Load(const std::string& path, std::string& error,
                                       std::size_t maxBytes = kMaxFileSize);

    // The value of key in section, or nullopt when either is missing.
    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // GetPrivateProfileString: the value, or fallback when missing.
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& fallback) const;
    bool HasSection(const std::string& section) const;
    // The keys of a section in file order (first section of that name), as written.
    std::vector<std::string> Keys(const std::string& section) const;
    // Every section name in file order, as written.
    std::vector<std::string> Sections() const;
    // 1-based line number of the line that holds key (first match), or 0.
    int LineOf(const std::string& section, const std::string& key) const;
    // 1-based line number of a section's header line, or 0.
    int SectionLine(const std::string& section) const;

    // A section header or a key line, with the line of the first one of that
    // name (in the file, for a section; in its section, for a key): lookups
    // find that first one, and a line where firstLine differs is never read.
    struct NamedLine {
        std::string name; // as written
        int line = 0;     // 1-based
        int firstLine = 0;
        bool Repeated() const { return line != firstLine; }
    };
    // Every section header in file order.
    std::vector<NamedLine> SectionLines() const;

private:
    struct SectionRef;

public:
    // A section (the first of its name) looked up once, for reading several
    // of its keys: the same answers as the calls above with its name. Valid
    // until the profile changes or goes.
    class SectionView {
    public:
        bool found() const { return ref_ != nullptr; }
        std::optional<std::string> Get(const std::string& key) const;
        std::string GetString(const std::string& key, const std::string& fallback) const;
        std::vector<std::string> Keys() const;
        std::size_t KeyCount() const;
        // Every key line of the section in file order.
        std::vector<NamedLine> KeyLines() const;
        int LineOf(const std::string& key) const;

    private:
        friend class Profile;
        SectionView(const Profile& profile, const SectionRef* ref)
            : profile_(&profile), ref_(ref) {}
        const Profile* profile_;
        const SectionRef* ref_;
    };
    SectionView Section(const std::string& section) const;

    // A line above the first section header that is neither blank nor a
    // comment: no lookup ever reads it, whatever its author meant by it.
    struct LooseLine {
        int line = 0;     // 1-based
        std::string text; // as written, without its line end
    };
    // Every such line in file order.
    std::vector<LooseLine> LinesBeforeSections() const;

    // WritePrivateProfileString.
    void Set(const std::string& section, const std::string& key, const std::string& value);

    // The whole text, as it would be saved.
    std::string Text() const;
    // Replaces the file atomically (a temporary file beside it, flushed, then
    // renamed over it: WriteFileAtomically of ini/atomic_file.h). False with a
    // readable reason on failure; the old file is then left as it was.
    bool Save(const std::string& path, std::string& error) const;

private:
    // The file is kept as its bytes: Set splices the text, and Text() gives
    // back exactly what was read when nothing was set. Beside it, an index:
    // every section header in file order with its key lines, and the names
    // in a NameIndex (first of a name only). A lookup costs one hash of the
    // name and, in the usual case, one comparison; reading a file costs time
    // and memory in proportion to its size, whatever its names.
    struct KeyRef {
        std::size_t lineBegin;
        std::size_t nameBegin; // the name's bytes in text_, blanks trimmed
        std::uint32_t nameLength;
        std::uint32_t section; // index into sections_
        std::uint32_t first;   // the first key of its name in its section (itself, mostly)
        int line;              // 1-based
    };
    struct SectionRef {
        std::size_t lineBegin; // of the header
        std::size_t nameBegin; // the name's bytes in text_, blanks trimmed
        std::uint32_t nameLength;
        std::uint32_t first;  // the first section of its name (itself, mostly)
        std::size_t firstKey; // its key lines: keys_[firstKey, endKey)
        std::size_t endKey;
        int line; // 1-based line number of the header
    };
    // The first section of that name; the first key of that name in a
    // section.
    const SectionRef* FindSection(const std::string& section) const;
    struct ValueSpan {
        std::size_t begin = 0; // the value's bytes in text_ (blanks trimmed, quotes kept)
        std::size_t end = 0;
    };
    const KeyRef* FindKey(const SectionRef& section, const std::string& key,
                          ValueSpan* value = nullptr) const;
    const KeyRef* FindKey(std::uint32_t section, std::string_view key,
                          ValueSpan* value = nullptr) const;
    std::string_view SectionName(std::uint32_t index) const;
    std::string_view KeyName(std::uint32_t index) const;
    void Reindex();

    std::string text_;
    // Where the first line begins: after a byte-order mark, else 0.
    std::size_t start_ = 0;
    // Line end of added lines: the file's own (that of its first line).
    std::string eol_ = "\n";
    std::vector<SectionRef> sections_; // file order
    std::vector<KeyRef> keys_;         // file order
    NameIndex sectionNames_;           // section name -> index into sections_
    NameIndex keyNames_;               // section index and key name -> index into keys_
    friend struct ProfileAccess;
};

// Why a file of this st_mode is not read: "is a directory", "is a FIFO",
// "is a character device", ...
std::string NotRegularReason(unsigned mode);

// A profile integer as the settings file takes it: decimal with an optional
// sign, or hexadecimal after a leading "0x", "0X" or "$" (a sign may come
// before the prefix); blanks around it are ignored; nullopt for anything
// else, a number outside the 64-bit signed range included.
std::optional<std::int64_t> ParseProfileInteger(const std::string& text);
// A profile boolean: any integer other than 0 is true; a missing key or text
// that is not an integer gives fallback.
bool GetProfileBool(const Profile& p, const std::string& section, const std::string& key,
                    bool fallback);

} // namespace ini
