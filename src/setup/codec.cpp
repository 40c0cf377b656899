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
    const std::vector<std::string> keys = values.Keys();
    if (keys.empty()) {
        built.skipped = true;
        return built;
    }

    std::vector<LayoutField> parsed;
    const std::vector<LayoutField>* known = KnownLayoutFields(spec.layout);
    const std::vector<LayoutField>& fields =
        known != nullptr ? *known : (parsed = LayoutFields(spec.layout));
    koravel::Bytes argument{static_cast<std::uint8_t>(spec.block & 0xFF),
                            static_cast<std::uint8_t>(spec.block >> 8)};
    for (const LayoutField& field : fields) {
        if (field.kind == FieldKind::Text) {
            const std::string value = values.GetString(field.key, "");
            if (value.size() > static_cast<std::size_t>(field.width))
                built.diagnostics.push_back(Note(Diagnostic::Kind::TextCut, values, spec.section,
                                                 field.key, value, field.width));
            AppendText(argument, value, field.width);
            continue;
        }
        const std::string value = values.GetString(field.key, "0");
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

    for (const std::string& key : keys) {
        const bool read = std::ranges::any_of(
            fields, [&key](const LayoutField& f) { return SameKey(f.key, key); });
        if (!read)
            built.diagnostics.push_back(
                Note(Diagnostic::Kind::UnreadKey, values, spec.section, key, "", 0));
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
               d.value.substr(0, kShownTextBytes) + (cut ? "\"..." : "\"");
    }
    text += "[" + d.section + "] " + d.key + ": ";
    switch (d.kind) {
    case Diagnostic::Kind::TextCut:
        text += "text of " + std::to_string(d.value.size()) + " characters is cut to " +
                std::to_string(d.width);
        break;
    case Diagnostic::Kind::NumberWraps:
        text += d.value + " does not fit in " + std::to_string(d.width) +
                (d.width == 1 ? " byte" : " bytes") + "; only its low bytes are sent";
        break;
    case Diagnostic::Kind::UnreadKey:
        text += "no layout field reads this key";
        break;
    case Diagnostic::Kind::NotAnInteger:
        text += NotAnIntegerMessage(d.value);
        break;
    case Diagnostic::Kind::TextBeforeSections:
        break; // described above
    }
    return text;
}

} // namespace setup
