// The set-up codec over arbitrary set-up files.
//
// Input: the text of a set-up file.
// Checked: CheckSetupFile for firmware 0x010C (old layouts) or 0x010D (new
// ones), as the input picks, builds the 68 blocks of the block map in order;
// each is skipped, or stops on a conversion error, or carries 2 + its
// layout's size bytes, with every field's bytes and every diagnostic as
// block_oracle.h works them out; keys of sections that no block reads are
// reported once per section name; the lines above the first section are
// reported with their numbers; Clean() and Diagnostics() agree with the
// parts.
#include "block_oracle.h"
#include "fuzz_check.h"

#include "setup/check.h"
#include "setup/transfer.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using koravel::Bytes;

std::string Folded(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return name;
}

// Whether a block reads the section: Factory, User, Useroffs1 to 33 or
// FactoryTune1 to 33, names compared without regard to case.
bool ReadByABlock(std::string_view name) {
    const auto numbered = [name](std::string_view prefix) {
        if (name.size() <= prefix.size() || name.size() > prefix.size() + 2 ||
            !fuzz::SameName(name.substr(0, prefix.size()), prefix))
            return false;
        int n = 0;
        for (char c : name.substr(prefix.size())) {
            if (c < '0' || c > '9')
                return false;
            n = n * 10 + (c - '0');
        }
        return name[prefix.size()] != '0' && n >= 1 && n <= 33;
    };
    return fuzz::SameName(name, "Factory") || fuzz::SameName(name, "User") ||
           numbered("Useroffs") || numbered("FactoryTune");
}

void CheckReport(const ini::Profile& file, int firmware) {
    setup::CheckReport report = setup::CheckSetupFile(file, firmware);
    const std::vector<setup::BlockSpec>& map = setup::BlockMap(firmware);
    FUZZ_CHECK(map.size() == setup::kBlockCount);
    FUZZ_CHECK(report.firmwareVersion == firmware);
    FUZZ_CHECK(report.blocks.size() == map.size());
    bool anyData = false;
    std::size_t diagnostics = 0;
    for (std::size_t i = 0; i < map.size(); ++i) {
        FUZZ_CHECK(report.blocks[i].spec.layout == map[i].layout);
        fuzz::CheckBuiltBlock(file, map[i], report.blocks[i]);
        if (!report.blocks[i].skipped && !report.blocks[i].conversionError)
            FUZZ_CHECK(report.blocks[i].argument.size() ==
                       2 + static_cast<std::size_t>(setup::LayoutSize(map[i].layout)));
        anyData = anyData || !report.blocks[i].skipped;
        diagnostics += report.blocks[i].diagnostics.size();
    }
    FUZZ_CHECK(report.holdsSetupData == anyData);
    FUZZ_CHECK(setup::HoldsSetupData(file) == anyData);

    // Stray keys: those of every section no block reads, first section of a
    // name only, in file order.
    static const bool mapNamesRead = [&map] {
        for (const setup::BlockSpec& spec : map)
            FUZZ_CHECK(ReadByABlock(spec.section));
        return true;
    }();
    FUZZ_CHECK(mapNamesRead);
    std::set<std::string> seen;
    std::size_t stray = 0;
    for (const std::string& section : file.Sections()) {
        if (ReadByABlock(section) || !seen.insert(Folded(section)).second)
            continue;
        for (const std::string& key : file.Keys(section)) {
            FUZZ_CHECK(stray < report.strayKeys.size());
            const setup::Diagnostic& d = report.strayKeys[stray++];
            FUZZ_CHECK(d.kind == setup::Diagnostic::Kind::UnreadKey);
            FUZZ_CHECK(d.section == section && d.key == key);
            FUZZ_CHECK(d.line == file.LineOf(section, key) && d.line > 0);
        }
    }
    FUZZ_CHECK(stray == report.strayKeys.size());

    const std::vector<ini::Profile::LooseLine> loose = file.LinesBeforeSections();
    FUZZ_CHECK(report.looseText.size() == loose.size());
    for (std::size_t i = 0; i < loose.size(); ++i) {
        const setup::Diagnostic& d = report.looseText[i];
        FUZZ_CHECK(d.kind == setup::Diagnostic::Kind::TextBeforeSections);
        FUZZ_CHECK(d.line == loose[i].line && d.value == loose[i].text);
    }
    const std::size_t total = loose.size() + diagnostics + stray;
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
