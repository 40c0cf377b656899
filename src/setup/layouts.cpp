#include "setup/layouts.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <utility>

namespace setup {

std::string NextLayoutField(std::string& layout) {
    const std::size_t end = layout.find(';');
    if (end == std::string::npos) {
        std::string entry = std::move(layout);
        layout.clear();
        return entry;
    }
    std::string entry = layout.substr(0, end);
    layout.erase(0, end + 1);
    return entry;
}

std::string LayoutFieldName(std::string_view entry) {
    return std::string(entry.substr(0, entry.find(' ')));
}

int LayoutFieldWidth(std::string_view entry) {
    const std::size_t blank = entry.find(' ');
    if (blank == std::string_view::npos)
        return 0;
    const std::string_view digits = entry.substr(blank + 1, 255);
    if (digits.empty())
        return 0;
    int width = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        width = width * 10 + (c - '0');
        if (width > kMaxFieldWidth)
            return 0;
    }
    return width;
}

namespace {

std::vector<LayoutField> ParseLayout(std::string_view layout) {
    std::vector<LayoutField> fields;
    std::string rest(layout);
    for (std::string entry = NextLayoutField(rest); !entry.empty(); entry = NextLayoutField(rest)) {
        LayoutField field;
        field.name = LayoutFieldName(entry);
        field.width = LayoutFieldWidth(entry);
        if (!field.name.empty() && field.name.front() == '?') {
            field.kind = FieldKind::Text;
            field.key = field.name.substr(1);
        } else {
            field.kind = !field.name.empty() && field.name.front() == '!' ? FieldKind::Hidden
                                                                          : FieldKind::Number;
            field.key = field.name;
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

int SumOfWidths(const std::vector<LayoutField>& fields) {
    int size = 0;
    for (const LayoutField& field : fields)
        size += field.width;
    return size;
}

// The unit's own layouts, walked once: every block of every set-up file
// asks for one of them.
struct KnownLayout {
    std::string_view text;
    std::vector<LayoutField> fields;
    int size = 0;
};

const KnownLayout* FindKnown(std::string_view layout) {
    static const std::vector<KnownLayout> known = [] {
        std::vector<KnownLayout> all;
        for (std::string_view text : {FactoryLayoutOld, FactoryLayoutNew, UserLayoutOld,
                                      UserLayoutNew, UseroffsLayout, FactoryTuneLayout}) {
            KnownLayout k{text, ParseLayout(text), 0};
            k.size = SumOfWidths(k.fields);
            all.push_back(std::move(k));
        }
        return all;
    }();
    for (const KnownLayout& k : known) {
        if (k.text == layout)
            return &k;
    }
    return nullptr;
}

} // namespace

std::vector<LayoutField> LayoutFields(std::string_view layout) {
    if (const KnownLayout* k = FindKnown(layout))
        return k->fields;
    return ParseLayout(layout);
}

const std::vector<LayoutField>* KnownLayoutFields(std::string_view layout) {
    const KnownLayout* k = FindKnown(layout);
    return k == nullptr ? nullptr : &k->fields;
}

bool LayoutReads(std::string_view layout, std::string_view key) {
    const auto sameName = [key](const LayoutField& field) {
        return std::ranges::equal(field.key, key, [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
        });
    };
    if (const KnownLayout* k = FindKnown(layout))
        return std::ranges::any_of(k->fields, sameName);
    return std::ranges::any_of(ParseLayout(layout), sameName);
}

int LayoutSize(std::string_view layout) {
    if (const KnownLayout* k = FindKnown(layout))
        return k->size;
    return SumOfWidths(ParseLayout(layout));
}

LayoutPair LayoutsForFirmware(int firmwareVersion) {
    if (firmwareVersion >= kNewLayoutFirmware)
        return {FactoryLayoutNew, UserLayoutNew};
    return {FactoryLayoutOld, UserLayoutOld};
}

namespace {

std::vector<BlockSpec> MakeBlockMap(const LayoutPair& pair) {
    std::vector<BlockSpec> blocks;
    blocks.reserve(kBlockCount);
    blocks.push_back({0, "Factory", pair.factory});
    blocks.push_back({1, "User", pair.user});
    for (int n = 1; n <= kOffsetSections; ++n)
        blocks.push_back(
            {static_cast<std::uint16_t>(n + 2), "Useroffs" + std::to_string(n), UseroffsLayout});
    for (int n = 1; n <= kTuneSections; ++n)
        blocks.push_back({static_cast<std::uint16_t>(n + 36), "FactoryTune" + std::to_string(n),
                          FactoryTuneLayout});
    return blocks;
}

} // namespace

const std::vector<BlockSpec>& BlockMap(int firmwareVersion) {
    static const std::vector<BlockSpec> oldMap = MakeBlockMap(LayoutsForFirmware(0));
    static const std::vector<BlockSpec> newMap =
        MakeBlockMap(LayoutsForFirmware(kNewLayoutFirmware));
    return firmwareVersion >= kNewLayoutFirmware ? newMap : oldMap;
}

} // namespace setup
