#include "setup/codec.h"

#include "ini/integer.h"

#include <algorithm>
#include <cctype>

namespace setup {

namespace {

bool SameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    if (a == b)
        return true;
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

Diagnostic Note(Diagnostic::Kind kind, const ini::Profile::SectionView& values,
                const std::string& section, const std::string& key, const std::string& value,
                int width) {
    return Diagnostic{kind, section, key, values.LineOf(key), value, width};
}

void AppendText(koravel::Bytes& out, const std::string& value, int width) {
    const auto w = static_cast<std::size_t>(width);
    const std::size_t n = std::min(value.size(), w);
    out.insert(out.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(n));
    out.insert(out.end(), w - n, 0x00);
}

void AppendNumber(koravel::Bytes& out, std::int32_t value, int width) {
    auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < width; ++i) {
        out.push_back(static_cast<std::uint8_t>(bits & 0xFF));
        bits = i < 3 ? bits >> 8 : 0;
    }
}

} // namespace

bool FitsWidth(std::int64_t value, int width) {
    if (width <= 0)
        return false;
    if (width >= 8)
        return true;
    const std::int64_t low = -(std::int64_t{1} << (8 * width - 1));
    const std::int64_t high = (std::int64_t{1} << (8 * width)) - 1;
    return value >= low && value <= high;
}

BuiltBlock BuildBlock(const ini::Profile& file, const BlockSpec& spec) {
    BuiltBlock built;
    built.spec = spec;
    const ini::Profile::SectionView values = file.Section(spec.section);
    if (values.KeyCount() == 0) {
        built.skipped = true;
        return built;
    }

    std::vector<LayoutField> parsed;
    const std::vector<LayoutField>* known = KnownLayoutFields(spec.layout);
    const std::vector<LayoutField>& fields =
        known != nullptr ? *known : (parsed = LayoutFields(spec.layout));
    // At most a finding or two per field, one per key line.
    built.diagnostics.reserve(fields.size() + values.KeyCount());
    koravel::Bytes argument{static_cast<std::uint8_t>(spec.block & 0xFF),
                            static_cast<std::uint8_t>(spec.block >> 8)};
    int header = 0; // the section's line, looked up for the first missing field
    const auto missing = [&](const LayoutField& field) {
        if (header == 0)
            header = file.SectionLine(spec.section);
        Diagnostic d{
            Diagnostic::Kind::MissingKey, spec.section, field.key, header, "", field.width};
        d.text = field.kind == FieldKind::Text;
        built.diagnostics.push_back(std::move(d));
    };
    static const std::string kNoText;
    static const std::string kZero = "0";
    for (const LayoutField& field : fields) {
        const std::optional<std::string> given = values.Get(field.key);
        // The hidden checksum byte is never in a file: it goes out as 0.
        if (!given && field.kind != FieldKind::Hidden)
            missing(field);
        if (field.kind == FieldKind::Text) {
            const std::string& value = given ? *given : kNoText;
            if (value.size() > static_cast<std::size_t>(field.width))
                built.diagnostics.push_back(Note(Diagnostic::Kind::TextCut, values, spec.section,
                                                 field.key, value, field.width));
            AppendText(argument, value, field.width);
            continue;
        }
        const std::string& value = given ? *given : kZero;
        const std::optional<std::int32_t> number = ToInteger(value);
        if (!number) {
            built.diagnostics.push_back(Note(Diagnostic::Kind::NotAnInteger, values, spec.section,
                                             field.key, value, field.width));
            if (!built.conversionError)
                built.conversionError = NotAnIntegerMessage(value);
            continue;
        }
        if (!FitsWidth(*number, field.width))
            built.diagnostics.push_back(Note(Diagnostic::Kind::NumberWraps, values, spec.section,
                                             field.key, value, field.width));
        AppendNumber(argument, *number, field.width);
    }

    // A key read once is as it should be; every line of an unread key is
    // not read, and a line after the first of a key that is read is not.
    for (ini::Profile::NamedLine& key : values.KeyLines()) {
        const bool read = std::ranges::any_of(
            fields, [&key](const LayoutField& f) { return SameKey(f.key, key.name); });
        if (read && !key.Repeated())
            continue;
        Diagnostic d{read ? Diagnostic::Kind::RepeatedKey : Diagnostic::Kind::UnreadKey,
                     spec.section,
                     std::move(key.name),
                     key.line,
                     "",
                     0};
        if (read)
            d.usedLine = key.firstLine;
        built.diagnostics.push_back(std::move(d));
    }

    if (!built.conversionError)
        built.argument = std::move(argument);
    return built;
}

std::string Describe(const Diagnostic& d) {
    std::string text = d.line > 0 ? "line " + std::to_string(d.line) + ": " : std::string();
    if (d.kind == Diagnostic::Kind::TextBeforeSections) {
        const bool cut = d.value.size() > kShownTextBytes;
        return text + "text above the first section is not read: \"" +
               ShownText(d.value.substr(0, kShownTextBytes)) + (cut ? "\"..." : "\"");
    }
    if (d.kind == Diagnostic::Kind::RepeatedSection) {
        return text + "[" + ShownText(d.section) + "] given again: only the section at line " +
               std::to_string(d.usedLine) + " is read";
    }
    text += "[";
    text += ShownText(d.section);
    text += "] ";
    text += ShownText(d.key);
    text += ": ";
    switch (d.kind) {
    case Diagnostic::Kind::TextCut:
        text += "text of " + std::to_string(d.value.size()) + " bytes is cut to " +
                std::to_string(d.width) + " bytes";
        break;
    case Diagnostic::Kind::NumberWraps:
        text += ShownText(d.value) + " does not fit in " + std::to_string(d.width) +
                (d.width == 1 ? " byte" : " bytes") + "; only its low bytes are sent";
        break;
    case Diagnostic::Kind::UnreadKey:
        text += "no layout field reads this key";
        break;
    case Diagnostic::Kind::NotAnInteger:
        text += NotAnIntegerMessage(d.value);
        break;
    case Diagnostic::Kind::MissingKey:
        text += d.text ? "not in the section; " + std::to_string(d.width) +
                             (d.width == 1 ? " byte" : " bytes") + " of 0x00 go out instead"
                       : std::string("not in the section; 0 goes out instead");
        break;
    case Diagnostic::Kind::RepeatedKey:
        text += "given again; the value at line " + std::to_string(d.usedLine) + " is read";
        break;
    case Diagnostic::Kind::TextBeforeSections:
    case Diagnostic::Kind::RepeatedSection:
        break; // described above
    }
    return text;
}

} // namespace setup
