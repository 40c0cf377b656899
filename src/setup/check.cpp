#include "setup/check.h"

#include "setup/layouts.h"
#include "setup/transfer.h"

#include <algorithm>
#include <cctype>

namespace setup {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

std::vector<Diagnostic> CheckReport::Diagnostics() const {
    std::vector<Diagnostic> all;
    for (const BuiltBlock& block : blocks)
        all.insert(all.end(), block.diagnostics.begin(), block.diagnostics.end());
    all.insert(all.end(), strayKeys.begin(), strayKeys.end());
    return all;
}

bool CheckReport::Clean() const {
    if (!holdsSetupData || !strayKeys.empty())
        return false;
    return std::ranges::none_of(blocks, [](const BuiltBlock& b) { return !b.diagnostics.empty(); });
}

CheckReport CheckSetupFile(const ini::Profile& file, int firmwareVersion) {
    CheckReport report;
    report.firmwareVersion = firmwareVersion;
    report.holdsSetupData = HoldsSetupData(file);
    const std::vector<BlockSpec> map = BlockMap(firmwareVersion);
    for (const BlockSpec& spec : map)
        report.blocks.push_back(BuildBlock(file, spec));

    std::vector<std::string> seen;
    for (const std::string& section : file.Sections()) {
        const bool known = std::ranges::any_of(
            map, [&section](const BlockSpec& spec) { return SameName(spec.section, section); });
        const bool repeated = std::ranges::any_of(
            seen, [&section](const std::string& s) { return SameName(s, section); });
        if (known || repeated)
            continue;
        seen.push_back(section);
        for (const std::string& key : file.Keys(section))
            report.strayKeys.push_back(Diagnostic{Diagnostic::Kind::UnreadKey, section, key,
                                                  file.LineOf(section, key), "", 0});
    }
    return report;
}

} // namespace setup
