// The INI reader and writer over arbitrary text.
//
// Input: the text of a file, any bytes.
// Checked, against a plain line-by-line reading of the same text:
//  - Text() gives the input back byte for byte (a byte-order mark included);
//  - every section Sections() lists is found, and SectionLine points at its
//    header; every key Keys() lists is found, LineOf points at a key line of
//    that name below the header, and Get gives that line's value, trimmed and
//    unquoted; LinesBeforeSections() lists the lines above the first header
//    that are neither blank nor comments;
//  - Set(s, k, v), with section, key and value picked from the text or made
//    up, leaves every other byte of the file as it was: it replaces the
//    key's line in place, or inserts the line (and a header for a new
//    section) in one place; afterwards Get(s, k) gives v trimmed and
//    unquoted, every other key reads as before, and the profile reads the
//    same as one parsed afresh from its text. (Names that the file's own
//    syntax cannot hold, such as a section name with "]" or a key starting
//    with ";", are only checked for the last of these.)
#include "fuzz_check.h"

#include "setup/ini.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && Blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && Blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::string OneLine(std::string s) {
    std::replace(s.begin(), s.end(), '\r', ' ');
    std::replace(s.begin(), s.end(), '\n', ' ');
    return s;
}

// The lines of a text: split at LF, a CR right before the LF not part of
// the line, a UTF-8 byte-order mark at the very start part of none.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        std::size_t end = nl;
        if (end > pos && text[end - 1] == '\r')
            --end;
        lines.push_back(text.substr(pos, end - pos));
        pos = nl + 1;
    }
    return lines;
}

std::optional<std::string_view> SectionName(std::string_view line) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[')
        return std::nullopt;
    const std::size_t close = t.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

struct KeyLine {
    std::string_view name;
    std::string_view value;
};

std::optional<KeyLine> Key(std::string_view line) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';' || SectionName(line))
        return std::nullopt;
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return KeyLine{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

std::string_view LineAt(const std::vector<std::string_view>& lines, int number) {
    FUZZ_CHECK(number >= 1 && static_cast<std::size_t>(number) <= lines.size());
    return lines[static_cast<std::size_t>(number - 1)];
}

// How many sections, and keys of each, the checks look at: the whole of a
// set-up file once, a share of it after each Set.
constexpr std::size_t kMostSections = 24;
constexpr std::size_t kMostKeys = 24;
constexpr std::size_t kSomeSections = 8;
constexpr std::size_t kSomeKeys = 8;

// Every section and key the profile lists reads as the text says.
void CheckReads(const ini::Profile& p, std::size_t mostSections, std::size_t mostKeys) {
    const std::string text = p.Text();
    const std::vector<std::string_view> lines = Lines(text);
    const std::vector<std::string> sections = p.Sections();
    for (std::size_t i = 0; i < std::min(sections.size(), mostSections); ++i) {
        const std::string& s = sections[i];
        FUZZ_CHECK(p.HasSection(s));
        const int header = p.SectionLine(s);
        const std::optional<std::string_view> name = SectionName(LineAt(lines, header));
        FUZZ_CHECK(name && fuzz::SameName(*name, s));
        const std::vector<std::string> keys = p.Keys(s);
        for (std::size_t j = 0; j < std::min(keys.size(), mostKeys); ++j) {
            const std::string& k = keys[j];
            const std::optional<std::string> value = p.Get(s, k);
            FUZZ_CHECK(value.has_value());
            FUZZ_CHECK(p.GetString(s, k, "fallback") == *value);
            const int at = p.LineOf(s, k);
            FUZZ_CHECK(at > header);
            const std::optional<KeyLine> line = Key(LineAt(lines, at));
            FUZZ_CHECK(line && fuzz::SameName(line->name, k));
            FUZZ_CHECK(Unquote(line->value) == *value);
            // No section header between the section's and the key's line.
            for (int n = header + 1; n < at; ++n)
                FUZZ_CHECK(!SectionName(LineAt(lines, n)));
        }
    }
}

// The lines above the first section header that are neither blank nor
// comments, as the text has them.
void CheckLooseLines(const ini::Profile& p) {
    const std::string text = p.Text();
    const std::vector<std::string_view> lines = Lines(text);
    const std::vector<ini::Profile::LooseLine> loose = p.LinesBeforeSections();
    std::size_t next = 0;
    for (std::size_t i = 0; i < lines.size() && !SectionName(lines[i]); ++i) {
        const std::string_view t = Trim(lines[i]);
        if (t.empty() || t.front() == ';')
            continue;
        FUZZ_CHECK(next < loose.size());
        FUZZ_CHECK(loose[next].line == static_cast<int>(i + 1));
        FUZZ_CHECK(loose[next].text == lines[i]);
        ++next;
    }
    FUZZ_CHECK(next == loose.size());
}

// Two profiles read the same for the names of the first.
void CheckSameReads(const ini::Profile& a, const ini::Profile& b) {
    FUZZ_CHECK(a.Text() == b.Text());
    const std::vector<std::string> sections = a.Sections();
    FUZZ_CHECK(sections == b.Sections());
    for (std::size_t i = 0; i < std::min(sections.size(), kSomeSections); ++i) {
        const std::string& s = sections[i];
        FUZZ_CHECK(a.SectionLine(s) == b.SectionLine(s));
        const std::vector<std::string> keys = a.Keys(s);
        FUZZ_CHECK(keys == b.Keys(s));
        for (std::size_t j = 0; j < std::min(keys.size(), kSomeKeys); ++j) {
            FUZZ_CHECK(a.Get(s, keys[j]) == b.Get(s, keys[j]));
            FUZZ_CHECK(a.LineOf(s, keys[j]) == b.LineOf(s, keys[j]));
        }
    }
}

std::string Slice(std::string_view text, fuzz::Dice& dice, std::size_t longest) {
    if (text.empty())
        return {};
    const std::size_t at = dice.Below(static_cast<std::uint32_t>(text.size()));
    const std::size_t length = dice.Below(static_cast<std::uint32_t>(longest) + 1);
    return std::string(text.substr(at, length));
}

// A name as a caller might give it: the file's own in another case or with
// blanks around it.
std::string Disguise(std::string name, fuzz::Dice& dice) {
    if (dice.Below(2) == 0)
        for (char& c : name)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
    if (dice.Below(3) == 0)
        name = " " + name + "\t";
    return name;
}

std::string PickSection(const ini::Profile& p, std::string_view text, fuzz::Dice& dice) {
    static const char* const kNames[] = {"General", "Factory", "User", "Useroffs1", "", "New"};
    const std::vector<std::string> sections = p.Sections();
    switch (dice.Below(4)) {
    case 0:
    case 1:
        if (!sections.empty())
            return Disguise(sections[dice.Below(static_cast<std::uint32_t>(sections.size()))],
                            dice);
        [[fallthrough]];
    case 2:
        return kNames[dice.Below(std::size(kNames))];
    default:
        return Slice(text, dice, 12);
    }
}

std::string PickKey(const ini::Profile& p, const std::string& section, std::string_view text,
                    fuzz::Dice& dice) {
    static const char* const kNames[] = {"Serialport", "Rig1", "model", "!checksum", "", "k"};
    const std::vector<std::string> keys = p.Keys(section);
    switch (dice.Below(4)) {
    case 0:
    case 1:
        if (!keys.empty())
            return Disguise(keys[dice.Below(static_cast<std::uint32_t>(keys.size()))], dice);
        [[fallthrough]];
    case 2:
        return kNames[dice.Below(std::size(kNames))];
    default:
        return Slice(text, dice, 12);
    }
}

std::string PickValue(std::string_view text, fuzz::Dice& dice) {
    static const char* const kValues[] = {"",   "0",     " 12 ",   "\"quoted\"", "'a'",
                                          "\"", "a=b=c", "x\r\ny", "'\"",        "\"\""};
    if (dice.Below(2) == 0)
        return kValues[dice.Below(std::size(kValues))];
    return Slice(text, dice, 40);
}

// Whether the file's syntax can hold the name: a header "[s]" reads back as
// s and a line "k=v" reads back as the key k.
bool Holds(const std::string& section, const std::string& key) {
    const std::string_view s = Trim(section);
    const std::string_view k = Trim(key);
    if (s.find_first_of("]\r\n") != std::string_view::npos)
        return false;
    if (k.find_first_of("=\r\n") != std::string_view::npos)
        return false;
    return k.empty() || (k.front() != ';' && k.front() != '[');
}

std::size_t CommonPrefix(std::string_view a, std::string_view b) {
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n])
        ++n;
    return n;
}

std::size_t CommonSuffix(std::string_view a, std::string_view b) {
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[a.size() - 1 - n] == b[b.size() - 1 - n])
        ++n;
    return n;
}

void CheckSet(ini::Profile& p, const std::string& s, const std::string& k, const std::string& v) {
    const std::string before = p.Text();
    const std::vector<std::string> sectionsBefore = p.Sections();
    const bool hadSection = p.HasSection(s);
    const int lineBefore = p.LineOf(s, k);
    // Every other key, and what it read before.
    struct Read {
        std::string section, key;
        std::optional<std::string> value;
    };
    std::vector<Read> others;
    for (std::size_t i = 0; i < std::min(sectionsBefore.size(), kSomeSections); ++i) {
        const std::vector<std::string> keys = p.Keys(sectionsBefore[i]);
        for (std::size_t j = 0; j < std::min(keys.size(), kSomeKeys); ++j)
            others.push_back({sectionsBefore[i], keys[j], p.Get(sectionsBefore[i], keys[j])});
    }

    p.Set(s, k, v);
    const std::string after = p.Text();
    CheckSameReads(p, ini::Profile::FromText(after));
    CheckReads(p, kSomeSections, kSomeKeys);
    if (!Holds(s, k))
        return;

    const std::string entry = std::string(Trim(k)) + "=" + OneLine(v);
    FUZZ_CHECK(p.Get(s, k) == Unquote(Trim(OneLine(v))));
    const int lineAfter = p.LineOf(s, k);
    FUZZ_CHECK(lineAfter > p.SectionLine(s) && p.SectionLine(s) > 0);
    const std::vector<std::string_view> lines = Lines(after);
    FUZZ_CHECK(LineAt(lines, lineAfter) == entry);

    if (lineBefore > 0) {
        // In place: the old line's bytes, its line end excluded, give way to
        // the new line; nothing else moves.
        FUZZ_CHECK(lineAfter == lineBefore);
        const std::vector<std::string_view> old = Lines(before);
        const std::string_view replaced = LineAt(old, lineBefore);
        const auto offset = static_cast<std::size_t>(replaced.data() - before.data());
        std::string expected = before;
        expected.replace(offset, replaced.size(), entry);
        FUZZ_CHECK(after == expected);
        FUZZ_CHECK(p.Sections() == sectionsBefore);
    } else {
        // Inserted in one place: the old text is a prefix and a suffix of
        // the new one, around the added line(s).
        FUZZ_CHECK(after.size() > before.size());
        FUZZ_CHECK(CommonPrefix(before, after) + CommonSuffix(before, after) >= before.size());
        const std::size_t added = after.size() - before.size();
        FUZZ_CHECK(added <= entry.size() + Trim(s).size() + 2 + 4 * 2);
        std::vector<std::string> sections = sectionsBefore;
        if (!hadSection)
            sections.emplace_back(Trim(s));
        FUZZ_CHECK(p.Sections() == sections);
    }

    for (const Read& r : others) {
        if (fuzz::SameName(Trim(r.section), Trim(s)) && fuzz::SameName(Trim(r.key), Trim(k)))
            continue;
        FUZZ_CHECK(p.Get(r.section, r.key) == r.value);
    }
}

std::uint32_t Fnv1a(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ini::Profile p = ini::Profile::FromText(text);
    FUZZ_CHECK(p.Text() == text);
    CheckReads(p, kMostSections, kMostKeys);
    CheckLooseLines(p);
    const std::string missing = "no such section \x01";
    FUZZ_CHECK(p.HasSection(missing) || !p.Get(missing, "k").has_value());

    fuzz::Dice dice(Fnv1a(data, size));
    for (int i = 0; i < 3; ++i) {
        const std::string s = PickSection(p, text, dice);
        const std::string k = PickKey(p, s, text, dice);
        const std::string v = PickValue(text, dice);
        CheckSet(p, s, k, v);
    }
    return 0;
}
