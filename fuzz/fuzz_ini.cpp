// The INI reader and writer over arbitrary text.
//
// Input: the text of a file, any bytes.
// Checked, against a plain line-by-line reading of the same text:
//  - Text() gives the input back byte for byte (a byte-order mark included);
//  - every section Sections() lists is found, and SectionLine points at its
//    header; every key Keys() lists is found, LineOf points at a key line of
//    that name below the header and above the next, and Get gives that line's
//    value, trimmed and unquoted; SectionLines() and KeyLines() give each
//    header and key line where it stands, with the line a lookup of its name
//    reads (for a sample of sections and keys, from a place the input picks;
//    the profile reads them through a view of the section, as the codec
//    does); LinesBeforeSections() lists the lines above the
//    first header that are neither blank nor comments;
//  - Set(s, k, v), twice in a row, with section, key and value picked from
//    the text or made up, leaves every other byte of the file as it was: it
//    replaces the key's line in place, or inserts the line (and a header for
//    a new section) in one place; afterwards Get(s, k) gives v trimmed and
//    unquoted, other keys (a sample) read as before, and the profile reads
//    the same as one parsed afresh from its text. (Names that the file's own
//    syntax cannot hold, such as a section name with "]" or a key starting
//    with ";", are only checked for the last of these.)
#include "fuzz_check.h"

#include "ini/profile.h"

#include <algorithm>
#include <cstring>
#include <memory>
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

// A profile's text and its lines, split once for every check of that text.
struct Reading {
    explicit Reading(std::string t) : text(std::move(t)), lines(Lines(text)) {}
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;
    const std::string text;
    const std::vector<std::string_view> lines; // views into text
};

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

// How many sections, and keys of each, the checks look at: a run of them
// from a place the dice picks, so that every part of a large file gets its
// turn over the inputs while each input costs about the same.
constexpr std::size_t kMostSections = 4;
constexpr std::size_t kMostKeys = 4;
constexpr std::size_t kSomeSections = 2;
constexpr std::size_t kSomeKeys = 2;

// Up to most positions of [0, count), as a run from a random start that
// wraps around at the end.
std::vector<std::size_t> Sample(std::size_t count, std::size_t most, fuzz::Dice& dice) {
    std::vector<std::size_t> picked;
    if (count == 0)
        return picked;
    const std::size_t start = count <= most ? 0 : dice.Below(static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < std::min(count, most); ++i)
        picked.push_back((start + i) % count);
    return picked;
}

// Sections and keys that the profile lists read as the text says: a sample
// of them.
void CheckReads(const ini::Profile& p, const Reading& reading, std::size_t mostSections,
                std::size_t mostKeys, fuzz::Dice& dice) {
    const std::vector<std::string_view>& lines = reading.lines;
    const std::vector<std::string> sections = p.Sections();
    const std::vector<ini::Profile::NamedLine> headers = p.SectionLines();
    FUZZ_CHECK(headers.size() == sections.size());
    for (const std::size_t i : Sample(sections.size(), mostSections, dice)) {
        const std::string& s = sections[i];
        FUZZ_CHECK(p.HasSection(s));
        const int header = p.SectionLine(s);
        const std::optional<std::string_view> name = SectionName(LineAt(lines, header));
        FUZZ_CHECK(name && fuzz::SameName(*name, s));
        // Each header where it stands, the first of its name where lookups go.
        FUZZ_CHECK(headers[i].name == s && headers[i].firstLine == header);
        FUZZ_CHECK(SectionName(LineAt(lines, headers[i].line)) == s);
        FUZZ_CHECK(headers[i].line >= header &&
                   headers[i].Repeated() == (headers[i].line > header));
        // The section's lines end before the next header.
        int next = header + 1;
        while (static_cast<std::size_t>(next) <= lines.size() && !SectionName(LineAt(lines, next)))
            ++next;
        const std::vector<std::string> keys = p.Keys(s);
        const std::vector<ini::Profile::NamedLine> keyLines = p.Section(s).KeyLines();
        FUZZ_CHECK(keyLines.size() == keys.size());
        for (const std::size_t j : Sample(keys.size(), mostKeys, dice)) {
            const std::string& k = keys[j];
            const std::optional<std::string> value = p.Get(s, k);
            FUZZ_CHECK(value.has_value());
            const int at = p.LineOf(s, k);
            FUZZ_CHECK(at > header && at < next);
            const std::optional<KeyLine> line = Key(LineAt(lines, at));
            FUZZ_CHECK(line && fuzz::SameName(line->name, k));
            FUZZ_CHECK(Unquote(line->value) == *value);
            // Every key line in file order, with the line the lookup reads.
            FUZZ_CHECK(keyLines[j].name == k && keyLines[j].firstLine == at);
            FUZZ_CHECK(keyLines[j].line >= at && keyLines[j].line < next);
            FUZZ_CHECK(j == 0 || keyLines[j].line > keyLines[j - 1].line);
            const std::optional<KeyLine> own = Key(LineAt(lines, keyLines[j].line));
            FUZZ_CHECK(own && own->name == k);
        }
    }
}

// The lines above the first section header that are neither blank nor
// comments, as the text has them.
void CheckLooseLines(const ini::Profile& p, const Reading& reading) {
    const std::vector<std::string_view>& lines = reading.lines;
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

// Two profiles read the same: the same text and sections, and a sample of
// the names of the first read alike in both.
void CheckSameReads(const ini::Profile& a, const ini::Profile& b, fuzz::Dice& dice) {
    FUZZ_CHECK(a.Text() == b.Text());
    const std::vector<std::string> sections = a.Sections();
    FUZZ_CHECK(sections == b.Sections());
    for (const std::size_t i : Sample(sections.size(), kSomeSections, dice)) {
        const std::string& s = sections[i];
        FUZZ_CHECK(a.SectionLine(s) == b.SectionLine(s));
        const std::vector<std::string> keys = a.Keys(s);
        FUZZ_CHECK(keys == b.Keys(s));
        for (const std::size_t j : Sample(keys.size(), kSomeKeys, dice)) {
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

// Compared 64 bytes at a time where they agree, so long texts cost little.
std::size_t CommonPrefix(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i + 64 <= n && std::memcmp(a.data() + i, b.data() + i, 64) == 0)
        i += 64;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

std::size_t CommonSuffix(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i + 64 <= n &&
           std::memcmp(a.data() + a.size() - i - 64, b.data() + b.size() - i - 64, 64) == 0)
        i += 64;
    while (i < n && a[a.size() - 1 - i] == b[b.size() - 1 - i])
        ++i;
    return i;
}

// Sets s, k to v in p, whose text was read as `reading`, and checks the
// outcome. Returns the reading of the new text.
std::unique_ptr<Reading> CheckSet(ini::Profile& p, const Reading& reading, const std::string& s,
                                  const std::string& k, const std::string& v, fuzz::Dice& dice) {
    const std::string& before = reading.text;
    FUZZ_CHECK(p.Text() == before);
    const std::vector<std::string> sectionsBefore = p.Sections();
    const bool hadSection = p.HasSection(s);
    const int lineBefore = p.LineOf(s, k);
    // Every other key, and what it read before.
    struct Read {
        std::string section, key;
        std::optional<std::string> value;
    };
    std::vector<Read> others;
    for (const std::size_t i : Sample(sectionsBefore.size(), kSomeSections, dice)) {
        const std::vector<std::string> keys = p.Keys(sectionsBefore[i]);
        for (const std::size_t j : Sample(keys.size(), kSomeKeys, dice))
            others.push_back({sectionsBefore[i], keys[j], p.Get(sectionsBefore[i], keys[j])});
    }

    p.Set(s, k, v);
    auto next = std::make_unique<Reading>(p.Text());
    const std::string& after = next->text;
    CheckSameReads(p, ini::Profile::FromText(after), dice);
    CheckReads(p, *next, kSomeSections, kSomeKeys, dice);
    if (!Holds(s, k))
        return next;

    const std::string entry = std::string(Trim(k)) + "=" + OneLine(v);
    FUZZ_CHECK(p.Get(s, k) == Unquote(Trim(OneLine(v))));
    const int lineAfter = p.LineOf(s, k);
    FUZZ_CHECK(lineAfter > p.SectionLine(s) && p.SectionLine(s) > 0);
    FUZZ_CHECK(LineAt(next->lines, lineAfter) == entry);

    if (lineBefore > 0) {
        // In place: the old line's bytes, its line end excluded, give way to
        // the new line; nothing else moves.
        FUZZ_CHECK(lineAfter == lineBefore);
        const std::string_view replaced = LineAt(reading.lines, lineBefore);
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
    return next;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ini::Profile p = ini::Profile::FromText(text);
    FUZZ_CHECK(p.Text() == text);
    fuzz::Dice dice(fuzz::InputHash(data, size));
    auto reading = std::make_unique<Reading>(p.Text());
    CheckReads(p, *reading, kMostSections, kMostKeys, dice);
    CheckLooseLines(p, *reading);
    const std::string missing = "no such section \x01";
    FUZZ_CHECK(p.HasSection(missing) || !p.Get(missing, "k").has_value());

    for (int i = 0; i < 2; ++i) {
        const std::string s = PickSection(p, text, dice);
        const std::string k = PickKey(p, s, text, dice);
        const std::string v = PickValue(text, dice);
        reading = CheckSet(p, *reading, s, k, v, dice);
    }
    return 0;
}
