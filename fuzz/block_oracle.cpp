#include "block_oracle.h"

#include "fuzz_check.h"

#include "ini/integer.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fuzz {

namespace {

using Kind = setup::Diagnostic::Kind;

// -(2^(8w-1)) up to 2^(8w)-1, in wide arithmetic.
bool Fits(std::int32_t n, int width) {
    if (width <= 0)
        return false;
    if (width >= 5)
        return true;
    const __int128 low = -(static_cast<__int128>(1) << (8 * width - 1));
    const __int128 high = (static_cast<__int128>(1) << (8 * width)) - 1;
    return n >= low && n <= high;
}

struct Expected {
    Kind kind;
    std::string key;
    std::string value;
    int width;
    int line;
    int usedLine = 0;
    bool text = false;
};

} // namespace

void CheckBuiltBlock(const ini::Profile& file, const setup::BlockSpec& spec,
                     const setup::BuiltBlock& built) {
    FUZZ_CHECK(built.spec.block == spec.block && built.spec.section == spec.section);
    // The section looked up once; the INI target checks that such a view
    // reads as the profile does.
    const ini::Profile::SectionView values = file.Section(spec.section);
    const std::vector<std::string> keys = values.Keys();
    const int header = file.SectionLine(spec.section);
    FUZZ_CHECK(built.skipped == keys.empty());
    if (built.skipped) {
        FUZZ_CHECK(built.argument.empty() && built.diagnostics.empty() && !built.conversionError);
        return;
    }

    const std::vector<setup::LayoutField> fields = setup::LayoutFields(spec.layout);
    std::vector<Expected> expected;
    std::optional<std::string> firstBad;
    std::size_t offset = 2;
    std::size_t size = 2;
    for (const setup::LayoutField& f : fields)
        size += static_cast<std::size_t>(f.width);
    FUZZ_CHECK(static_cast<int>(size) - 2 == setup::LayoutSize(spec.layout));
    const bool hasBytes = !built.conversionError;
    if (hasBytes) {
        FUZZ_CHECK(built.argument.size() == size);
        FUZZ_CHECK(built.argument[0] == (spec.block & 0xFF) &&
                   built.argument[1] == spec.block >> 8);
    } else {
        FUZZ_CHECK(built.argument.empty());
    }

    for (const setup::LayoutField& f : fields) {
        const auto width = static_cast<std::size_t>(f.width);
        const std::optional<std::string> given = values.Get(f.key);
        const auto line = [&values, &f] { return values.LineOf(f.key); };
        // A field the section does not give, at the section's header; never
        // the hidden checksum.
        if (!given && f.kind != setup::FieldKind::Hidden)
            expected.push_back({Kind::MissingKey, f.key, "", f.width, header, 0,
                                f.kind == setup::FieldKind::Text});
        if (f.kind == setup::FieldKind::Text) {
            const std::string value = given.value_or("");
            if (value.size() > width)
                expected.push_back({Kind::TextCut, f.key, value, f.width, line()});
            for (std::size_t i = 0; hasBytes && i < width; ++i)
                FUZZ_CHECK(built.argument[offset + i] ==
                           (i < value.size() ? static_cast<std::uint8_t>(value[i]) : 0));
        } else {
            const std::string value = given.value_or("0");
            const std::optional<std::int32_t> n = setup::ToInteger(value);
            if (!n) {
                expected.push_back({Kind::NotAnInteger, f.key, value, f.width, line()});
                if (!firstBad)
                    firstBad = value;
            } else {
                if (!Fits(*n, f.width))
                    expected.push_back({Kind::NumberWraps, f.key, value, f.width, line()});
                // Low byte first; past the 32 bits of the value, zeros.
                const auto bits = static_cast<std::uint32_t>(*n);
                for (std::size_t i = 0; hasBytes && i < width; ++i)
                    FUZZ_CHECK(built.argument[offset + i] ==
                               (i < 4 ? (bits >> (8 * i)) & 0xFF : 0));
            }
        }
        offset += width;
    }
    // Then, in file order, every line of a key no field reads, and every
    // line after the first of a key a field reads (the INI target checks
    // KeyLines against the text).
    const std::vector<ini::Profile::NamedLine> keyLines = values.KeyLines();
    FUZZ_CHECK(keyLines.size() == keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string& key = keys[i];
        bool read = false;
        for (const setup::LayoutField& f : fields)
            read = read || SameName(f.key, key);
        // A line after the first of its name (LineOf reads the first).
        const bool again = keyLines[i].line != values.LineOf(key);
        FUZZ_CHECK(keyLines[i].Repeated() == again);
        if (!read)
            expected.push_back({Kind::UnreadKey, key, "", 0, keyLines[i].line});
        else if (again)
            expected.push_back(
                {Kind::RepeatedKey, key, "", 0, keyLines[i].line, values.LineOf(key)});
    }

    FUZZ_CHECK(built.conversionError.has_value() == firstBad.has_value());
    if (firstBad)
        FUZZ_CHECK(*built.conversionError == setup::NotAnIntegerMessage(*firstBad));
    FUZZ_CHECK(built.diagnostics.size() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const setup::Diagnostic& d = built.diagnostics[i];
        FUZZ_CHECK(d.kind == expected[i].kind && d.key == expected[i].key);
        FUZZ_CHECK(d.value == expected[i].value && d.width == expected[i].width);
        FUZZ_CHECK(d.section == spec.section);
        FUZZ_CHECK(d.line == expected[i].line && d.usedLine == expected[i].usedLine);
        FUZZ_CHECK(d.text == expected[i].text);
        const std::string text = setup::Describe(d);
        FUZZ_CHECK(text.find("[" + setup::ShownText(d.section) + "] " + setup::ShownText(d.key) +
                             ": ") != std::string::npos);
        FUZZ_CHECK((d.line > 0) == (text.rfind("line " + std::to_string(d.line) + ": ", 0) == 0));
    }
}

int BlockIndex(std::string_view section) {
    const auto numbered = [section](std::string_view prefix) {
        if (section.size() <= prefix.size() || section.size() > prefix.size() + 2 ||
            !SameName(section.substr(0, prefix.size()), prefix) || section[prefix.size()] == '0')
            return 0;
        int n = 0;
        for (char c : section.substr(prefix.size())) {
            if (c < '0' || c > '9')
                return 0;
            n = n * 10 + (c - '0');
        }
        return n <= setup::kOffsetSections ? n : 0;
    };
    if (SameName(section, "Factory"))
        return 0;
    if (SameName(section, "User"))
        return 1;
    if (const int n = numbered("Useroffs"))
        return 1 + n;
    if (const int n = numbered("FactoryTune"))
        return 1 + setup::kOffsetSections + n;
    return -1;
}

std::vector<bool> BlocksWithData(const ini::Profile& file) {
    std::vector<bool> withData(setup::kBlockCount, false);
    std::set<std::string> seen;
    for (const std::string& section : file.Sections()) {
        const int index = BlockIndex(section);
        if (index >= 0 && seen.insert(Folded(section)).second)
            withData[static_cast<std::size_t>(index)] = !file.Keys(section).empty();
    }
    return withData;
}

std::string Folded(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return name;
}

} // namespace fuzz
