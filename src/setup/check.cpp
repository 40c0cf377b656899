#include "setup/check.h"

#include "ini/integer.h"

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

// Whether a block reads the section of that name. The blocks' names are
// those of every firmware (only their layouts differ).
bool IsBlockSection(const std::string& name) {
    static const std::unordered_set<std::string> names = [] {
        std::unordered_set<std::string> folded;
        for (const BlockSpec& spec : BlockMap(0))
            folded.insert(Folded(spec.section));
        return folded;
    }();
    return names.contains(Folded(name));
}

} // namespace

std::vector<Diagnostic> CheckReport::Diagnostics() const {
    std::vector<Diagnostic> all = looseText;
    all.insert(all.end(), repeatedSections.begin(), repeatedSections.end());
    for (const BuiltBlock& block : blocks)
        all.insert(all.end(), block.diagnostics.begin(), block.diagnostics.end());
    all.insert(all.end(), strayKeys.begin(), strayKeys.end());
    return all;
}

bool CheckReport::Clean() const {
    if (!holdsSetupData || !strayKeys.empty() || !looseText.empty() || !repeatedSections.empty())
        return false;
    return std::ranges::none_of(blocks, [](const BuiltBlock& b) { return !b.diagnostics.empty(); });
}

std::vector<BuiltBlock> BuildBlocks(const ini::Profile& file, int firmwareVersion) {
    const std::vector<BlockSpec>& map = BlockMap(firmwareVersion);
    std::vector<BuiltBlock> blocks;
    blocks.reserve(map.size());
    for (const BlockSpec& spec : map)
        blocks.push_back(BuildBlock(file, spec));
    return blocks;
}

const BuiltBlock* FirstConversionError(const std::vector<BuiltBlock>& blocks) {
    const auto found = std::ranges::find_if(
        blocks, [](const BuiltBlock& b) { return b.conversionError.has_value(); });
    return found == blocks.end() ? nullptr : &*found;
}

CheckReport CheckSetupFile(const ini::Profile& file, int firmwareVersion) {
    CheckReport report;
    report.firmwareVersion = firmwareVersion;
    report.holdsSetupData = HoldsSetupData(file);
    for (const ini::Profile::LooseLine& loose : file.LinesBeforeSections())
        report.looseText.push_back(
            Diagnostic{Diagnostic::Kind::TextBeforeSections, "", "", loose.line, loose.text, 0});
    report.blocks = BuildBlocks(file, firmwareVersion);

    for (ini::Profile::NamedLine& section : file.SectionLines()) {
        if (section.Repeated()) {
            Diagnostic d{Diagnostic::Kind::RepeatedSection,
                         std::move(section.name),
                         "",
                         section.line,
                         "",
                         0};
            d.usedLine = section.firstLine;
            report.repeatedSections.push_back(std::move(d));
            continue;
        }
        // The keys of a section that no block reads.
        if (IsBlockSection(section.name))
            continue;
        for (ini::Profile::NamedLine& key : file.Section(section.name).KeyLines())
            report.strayKeys.push_back(Diagnostic{Diagnostic::Kind::UnreadKey, section.name,
                                                  std::move(key.name), key.line, "", 0});
    }
    return report;
}

namespace {

bool NewFamily(int firmwareVersion) {
    return NewLayoutFamily(firmwareVersion);
}

// "a, b in [Factory]; c in [User]" for names in section order.
std::string ListBySection(const std::vector<Diagnostic>& items) {
    std::string text;
    for (const SectionKeys& group : KeysBySection(items)) {
        if (!text.empty())
            text += "; ";
        for (std::size_t i = 0; i < group.keys.size(); ++i)
            text += (i == 0 ? "" : ", ") + group.keys[i];
        text += " in [" + group.section + "]";
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
    for (std::size_t i = 0; i < 2; ++i) {
        for (ini::Profile::NamedLine& key : file.Section(blocks[i]->section).KeyLines()) {
            if (!key.Repeated() && !LayoutReads(blocks[i]->layout, key.name) &&
                LayoutReads(otherLayouts[i], key.name))
                mismatch.ignoredKeys.push_back(Diagnostic{Diagnostic::Kind::UnreadKey,
                                                          blocks[i]->section, std::move(key.name),
                                                          key.line, "", 0});
        }
    }
    return mismatch;
}

std::string DescribeMismatch(const FamilyMismatch& mismatch) {
    const std::string fileFamily = FamilyText(!NewFamily(mismatch.firmwareVersion));
    return "The file was made for units with " + fileFamily + "; the unit has firmware " +
           FirmwareText(mismatch.firmwareVersion) + ".\nIgnored (only units with " + fileFamily +
           " read them): " + ListBySection(mismatch.ignoredKeys) + ".";
}

SendConcerns FindSendConcerns(const ini::Profile& file, int firmwareVersion,
                              const std::vector<BuiltBlock>& blocks) {
    SendConcerns concerns;
    concerns.family = FindOtherFamilyKeys(file, firmwareVersion);
    for (const BuiltBlock& block : blocks) {
        for (const Diagnostic& d : block.diagnostics) {
            if (d.kind == Diagnostic::Kind::MissingKey)
                concerns.missingKeys.push_back(d);
        }
    }
    for (ini::Profile::NamedLine& section : file.SectionLines()) {
        if (!section.Repeated() || !IsBlockSection(section.name))
            continue;
        Diagnostic d{
            Diagnostic::Kind::RepeatedSection, std::move(section.name), "", section.line, "", 0};
        d.usedLine = section.firstLine;
        concerns.repeatedSections.push_back(std::move(d));
    }
    return concerns;
}

std::string DescribeConcerns(const SendConcerns& concerns) {
    std::vector<std::string> lines;
    if (concerns.family.found())
        lines.push_back(DescribeMismatch(concerns.family));
    if (!concerns.missingKeys.empty())
        lines.push_back("Sent as 0 (not in the file; texts as 0x00 bytes): " +
                        ListBySection(concerns.missingKeys) + ".");
    for (const Diagnostic& d : concerns.repeatedSections) {
        std::string line = "[";
        line += ShownText(d.section);
        line += "] is given again at line " + std::to_string(d.line) +
                ": only the section at line " + std::to_string(d.usedLine) + " is read.";
        lines.push_back(std::move(line));
    }
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

std::vector<SectionKeys> KeysBySection(const std::vector<Diagnostic>& items) {
    std::vector<SectionKeys> groups;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i == 0 || items[i - 1].section != items[i].section)
            groups.push_back(SectionKeys{ShownText(items[i].section), {}});
        groups.back().keys.push_back(ShownText(items[i].key));
    }
    return groups;
}

bool NewLayoutFamily(int firmwareVersion) {
    return firmwareVersion >= kNewLayoutFirmware;
}

std::string FirmwareText(int version) {
    return std::to_string(version / 256) + "." + std::to_string(version % 256);
}

} // namespace setup
