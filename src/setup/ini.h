// INI files read and written with the rules of the Windows profile API
// (GetPrivateProfileString / WritePrivateProfileString):
//  - "[name]" starts a section; "key=value" lines belong to the section above;
//  - section and key names compare without regard to case; the first match wins;
//  - blanks around keys and values are trimmed; a value in matching quotes
//    ('...' or "...") is unquoted;
//  - writing a key replaces its line in place, adds a missing key at the end
//    of its section and a missing section at the end of the file, and leaves
//    every other line (comments, unknown keys, other sections) untouched.
// Text is kept as bytes; nothing is converted. No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ini {

// Files larger than this are refused by Load.
constexpr std::size_t kMaxFileSize = 4u * 1024u * 1024u;

class Profile {
public:
    Profile() = default;
    // Parses text as it stands (LF or CR LF line ends, any bytes).
    static Profile FromText(std::string text);

    // Reads a file. Returns nullopt and sets error to a readable reason
    // ("No such file or directory", "larger than 4 MiB", ...) when the file
    // cannot be read; an absent file is such a failure.
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

    // WritePrivateProfileString.
    void Set(const std::string& section, const std::string& key, const std::string& value);

    // The whole text, as it would be saved.
    std::string Text() const;
    // Replaces the file atomically (a temporary file beside it, flushed, then
    // renamed over it). False with a readable reason on failure; the old file
    // is then left as it was.
    bool Save(const std::string& path, std::string& error) const;

private:
    struct Line {
        std::string raw; // the line as in the file, without its line end
    };
    std::vector<Line> lines_;
    std::string eol_ = "\n";
    bool finalEol_ = true;
    friend struct ProfileAccess;
};

// A profile integer as the settings file takes it: decimal, or hexadecimal
// after a leading "0x" or "$"; nullopt for anything else.
std::optional<std::int64_t> ParseProfileInteger(const std::string& text);
// A profile boolean: any integer other than 0 is true; a missing key or text
// that is not an integer gives fallback.
bool GetProfileBool(const Profile& p, const std::string& section, const std::string& key,
                    bool fallback);

} // namespace ini
