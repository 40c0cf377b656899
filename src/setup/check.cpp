#include "setup/check.h"

#include "setup/layouts.h"
#include "setup/setup_file.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace setup {

namespace {

// A section name as the profile compares it: ASCII letters in small case.
std::string Folded(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

} // namespace

std::vector<Diagnostic> CheckReport::Diagnostics() const {
    std::vector<Diagnostic> all = looseText;
    for (const BuiltBlock& block : blocks)
        all.insert(all.end(), block.diagnostics.begin(), block.diagnostics.end());
    all.insert(all.end(), strayKeys.begin(), strayKeys.end());
    return all;
}

bool CheckReport::Clean() const {
    if (!holdsSetupData || !strayKeys.empty() || !looseText.empty())
        return false;
    return std::ranges::none_of(blocks, [](const BuiltBlock& b) { return !b.diagnostics.empty(); });
}

CheckReport CheckSetupFile(const ini::Profile& file, int firmwareVersion) {
    CheckReport report;
    report.firmwareVersion = firmwareVersion;
    report.holdsSetupData = HoldsSetupData(file);
    for (const ini::Profile::LooseLine& loose : file.LinesBeforeSections())
        report.looseText.push_back(
            Diagnostic{Diagnostic::Kind::TextBeforeSections, "", "", loose.line, loose.text, 0});
    const std::vector<BlockSpec>& map = BlockMap(firmwareVersion);
    report.blocks.reserve(map.size());
    for (const BlockSpec& spec : map)
        report.blocks.push_back(BuildBlock(file, spec));

    // The keys of a section that no block reads, first section of a name
    // only. Names are compared folded, so a file of many sections costs a
    // lookup per section; the blocks' names are those of every firmware
    // (only their layouts differ).
    static const std::unordered_set<std::string> blockNames = [&map] {
        std::unordered_set<std::string> names;
        for (const BlockSpec& spec : map)
            names.insert(Folded(spec.section));
        return names;
    }();
    std::unordered_set<std::string> seen;
    for (const std::string& section : file.Sections()) {
        std::string folded = Folded(section);
        if (blockNames.contains(folded) || !seen.insert(std::move(folded)).second)
            continue;
        for (const std::string& key : file.Keys(section))
            report.strayKeys.push_back(Diagnostic{Diagnostic::Kind::UnreadKey, section, key,
                                                  file.LineOf(section, key), "", 0});
    }
    return report;
}

namespace {

bool NewFamily(int firmwareVersion) {
    return firmwareVersion >= kNewLayoutFirmware;
}

// "a, b in [Factory]; c in [User]" for names in section order.
template <typename Item> std::string ListBySection(const std::vector<Item>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const bool first = i == 0 || items[i - 1].section != items[i].section;
        const bool last = i + 1 == items.size() || items[i + 1].section != items[i].section;
        if (first && i > 0)
            text += "; ";
        else if (!first)
            text += ", ";
        text += items[i].key;
        if (last)
            text += " in [" + items[i].section + "]";
    }
    return text;
}

std::string FamilyText(bool newFamily) {
    return newFamily ? "firmware " + FirmwareText(kNewLayoutFirmware) + " or later"
                     : "firmware below " + FirmwareText(kNewLayoutFirmware);
}

} // namespace

FamilyMismatch FindOtherFamilyKeys(const ini::Profile& file, int firmwareVersion) {
    FamilyMismatch mismatch;
    mismatch.firmwareVersion = firmwareVersion;
    const std::vector<BlockSpec>& map = BlockMap(firmwareVersion);
    const LayoutPair other =
        LayoutsForFirmware(NewFamily(firmwareVersion) ? 0 : kNewLayoutFirmware);
    // Blocks 0 and 1 are the only ones whose layouts differ.
    const BlockSpec* blocks[] = {&map[0], &map[1]};
    const std::string_view otherLayouts[] = {other.factory, other.user};
    const ini::Profile::SectionView values[] = {file.Section(map[0].section),
                                                file.Section(map[1].section)};
    std::vector<std::string> keys[2];
    for (std::size_t i = 0; i < 2; ++i) {
        keys[i] = values[i].Keys();
        for (const std::string& key : keys[i]) {
            if (!LayoutReads(blocks[i]->layout, key) && LayoutReads(otherLayouts[i], key))
                mismatch.ignoredKeys.push_back(Diagnostic{Diagnostic::Kind::UnreadKey,
                                                          blocks[i]->section, key,
                                                          values[i].LineOf(key), "", 0});
        }
    }
    if (!mismatch.found())
        return mismatch;
    for (std::size_t i = 0; i < 2; ++i) {
        if (keys[i].empty())
            continue; // the block is not sent
        for (const LayoutField& field : LayoutFields(blocks[i]->layout)) {
            if (field.kind != FieldKind::Hidden && !values[i].Get(field.key))
                mismatch.zeroFields.push_back({blocks[i]->section, field.key});
        }
    }
    return mismatch;
}

std::string DescribeMismatch(const FamilyMismatch& mismatch) {
    const std::string fileFamily = FamilyText(!NewFamily(mismatch.firmwareVersion));
    std::string text = "The file was made for units with " + fileFamily +
                       "; the unit has firmware " + FirmwareText(mismatch.firmwareVersion) +
                       ".\nIgnored (only units with " + fileFamily +
                       " read them): " + ListBySection(mismatch.ignoredKeys) + ".";
    if (!mismatch.zeroFields.empty())
        text += "\nSent as 0 (not in the file): " + ListBySection(mismatch.zeroFields) + ".";
    return text;
}

std::string FirmwareText(int version) {
    return std::to_string(version / 256) + "." + std::to_string(version % 256);
}

} // namespace setup
