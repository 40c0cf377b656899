// The set-up codec over arbitrary set-up files.
//
// Input: the text of a set-up file.
// Checked: CheckSetupFile for firmware 0x010C (old layouts) or 0x010D (new
// ones), as the input picks, builds the 68 blocks of the block map in order;
// each is skipped, or stops on a conversion error, or carries 2 + its
// layout's size bytes, with every field's bytes and every diagnostic as
// block_oracle.h works them out; a section given again is reported with the
// line of the one read; keys of the other sections that no block reads are
// reported with their lines; the lines above the first section are reported
// with their numbers; Clean() and Diagnostics() agree with the parts.
#include "block_oracle.h"
#include "fuzz_check.h"

#include "setup/check.h"
#include "setup/setup_file.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using koravel::Bytes;

void CheckReport(const ini::Profile& file, int firmware) {
    setup::CheckReport report = setup::CheckSetupFile(file, firmware);
    const std::vector<setup::BlockSpec>& map = setup::BlockMap(firmware);
    FUZZ_CHECK(map.size() == setup::kBlockCount);
    FUZZ_CHECK(report.firmwareVersion == firmware);
    FUZZ_CHECK(report.blocks.size() == map.size());
    // Blocks without data are checked against the file's sections (the
    // block map and fuzz::BlockIndex agree on the names); the others field
    // by field.
    static const bool namesAgree = [] {
        for (const int version : {0x010C, 0x010D}) {
            const std::vector<setup::BlockSpec>& blocks = setup::BlockMap(version);
            for (std::size_t i = 0; i < blocks.size(); ++i)
                FUZZ_CHECK(fuzz::BlockIndex(blocks[i].section) == static_cast<int>(i));
        }
        return true;
    }();
    FUZZ_CHECK(namesAgree);
    const std::vector<bool> withData = fuzz::BlocksWithData(file);
    bool anyData = false;
    std::size_t diagnostics = 0;
    for (std::size_t i = 0; i < map.size(); ++i) {
        FUZZ_CHECK(report.blocks[i].spec.layout == map[i].layout);
        FUZZ_CHECK(report.blocks[i].spec.block == map[i].block);
        FUZZ_CHECK(report.blocks[i].skipped == !withData[i]);
        if (withData[i])
            fuzz::CheckBuiltBlock(file, map[i], report.blocks[i]);
        else
            FUZZ_CHECK(report.blocks[i].argument.empty() && report.blocks[i].diagnostics.empty() &&
                       !report.blocks[i].conversionError);
        if (!report.blocks[i].skipped && !report.blocks[i].conversionError)
            FUZZ_CHECK(report.blocks[i].argument.size() ==
                       2 + static_cast<std::size_t>(setup::LayoutSize(map[i].layout)));
        anyData = anyData || !report.blocks[i].skipped;
        diagnostics += report.blocks[i].diagnostics.size();
    }
    FUZZ_CHECK(report.holdsSetupData == anyData);
    FUZZ_CHECK(setup::HoldsSetupData(file) == anyData);

    // A section given again after the first of its name: reported, never
    // read. Stray keys: those of every other section no block reads, each
    // line of them, in file order.
    std::set<std::string> seen;
    std::size_t stray = 0;
    std::size_t repeated = 0;
    const std::vector<std::string> sections = file.Sections();
    const std::vector<ini::Profile::NamedLine> headers = file.SectionLines();
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::string& section = sections[i];
        if (!seen.insert(fuzz::Folded(section)).second) {
            FUZZ_CHECK(repeated < report.repeatedSections.size());
            const setup::Diagnostic& d = report.repeatedSections[repeated++];
            FUZZ_CHECK(d.kind == setup::Diagnostic::Kind::RepeatedSection);
            FUZZ_CHECK(d.section == section && d.line == headers[i].line);
            FUZZ_CHECK(d.usedLine == file.SectionLine(section) && d.usedLine < d.line);
            continue;
        }
        if (fuzz::BlockIndex(section) >= 0)
            continue;
        const std::vector<std::string> keys = file.Keys(section);
        const std::vector<ini::Profile::NamedLine> keyLines = file.Section(section).KeyLines();
        for (std::size_t j = 0; j < keys.size(); ++j) {
            FUZZ_CHECK(stray < report.strayKeys.size());
            const setup::Diagnostic& d = report.strayKeys[stray++];
            FUZZ_CHECK(d.kind == setup::Diagnostic::Kind::UnreadKey);
            FUZZ_CHECK(d.section == section && d.key == keys[j]);
            FUZZ_CHECK(d.line == keyLines[j].line && d.line >= file.LineOf(section, keys[j]));
        }
    }
    FUZZ_CHECK(stray == report.strayKeys.size());
    FUZZ_CHECK(repeated == report.repeatedSections.size());

    const std::vector<ini::Profile::LooseLine> loose = file.LinesBeforeSections();
    FUZZ_CHECK(report.looseText.size() == loose.size());
    for (std::size_t i = 0; i < loose.size(); ++i) {
        const setup::Diagnostic& d = report.looseText[i];
        FUZZ_CHECK(d.kind == setup::Diagnostic::Kind::TextBeforeSections);
        FUZZ_CHECK(d.line == loose[i].line && d.value == loose[i].text);
    }
    const std::size_t total = loose.size() + repeated + diagnostics + stray;
    FUZZ_CHECK(report.Diagnostics().size() == total);
    FUZZ_CHECK(report.Clean() == (anyData && total == 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ini::Profile file =
        ini::Profile::FromText(std::string(reinterpret_cast<const char*>(data), size));
    fuzz::Dice dice(fuzz::InputHash(data, size));
    CheckReport(file, dice.Below(2) == 0 ? 0x010C : 0x010D);
    return 0;
}
