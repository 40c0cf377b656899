// Layout strings and the block codec over layouts of any shape.
//
// Input: a layout (up to the first line break), then the body of section
// [S] of an INI file.
// Checked:
//  - the layout walk gives the entries before the first empty one, each
//    with the name before its first blank and the width of the decimal
//    number after it (0 when that is no number of at most 255);
//  - BuildBlock for block 0x1234 from [S] gives 2 + the layout's size
//    bytes, or is skipped, or stops on a conversion error; every field's
//    bytes and every diagnostic are as block_oracle.h works them out.
#include "block_oracle.h"
#include "fuzz_check.h"

#include "setup/codec.h"
#include "setup/layouts.h"

#include <string>
#include <string_view>
#include <vector>

namespace {

int ReferenceWidth(std::string_view entry) {
    const std::size_t blank = entry.find(' ');
    if (blank == std::string_view::npos)
        return 0;
    const std::string_view digits = entry.substr(blank + 1, 255);
    if (digits.empty())
        return 0;
    long long width = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        width = width * 10 + (c - '0');
        if (width > 255)
            return 0;
    }
    return static_cast<int>(width);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nl = input.find('\n');
    const std::string layout(input.substr(0, nl));
    const std::string body(nl == std::string_view::npos ? std::string_view()
                                                        : input.substr(nl + 1));

    // The entries as ";" parts them, up to the first empty one.
    std::vector<std::string_view> entries;
    for (std::size_t pos = 0; pos <= layout.size();) {
        const std::size_t semi = layout.find(';', pos);
        const std::string_view entry = std::string_view(layout).substr(
            pos, semi == std::string::npos ? std::string::npos : semi - pos);
        if (entry.empty())
            break;
        entries.push_back(entry);
        if (semi == std::string::npos)
            break;
        pos = semi + 1;
    }

    const std::vector<setup::LayoutField> fields = setup::LayoutFields(layout);
    FUZZ_CHECK(fields.size() == entries.size());
    int blockSize = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const setup::LayoutField& f = fields[i];
        const std::string_view entry = entries[i];
        FUZZ_CHECK(f.name == entry.substr(0, entry.find(' ')));
        FUZZ_CHECK(f.name == setup::LayoutFieldName(entry));
        FUZZ_CHECK(f.width == ReferenceWidth(entry));
        FUZZ_CHECK(f.width == setup::LayoutFieldWidth(entry));
        FUZZ_CHECK(f.width >= 0 && f.width <= setup::kMaxFieldWidth);
        if (!f.name.empty() && f.name[0] == '?') {
            FUZZ_CHECK(f.kind == setup::FieldKind::Text && f.key == f.name.substr(1));
        } else {
            FUZZ_CHECK(f.key == f.name);
            FUZZ_CHECK(f.kind == (!f.name.empty() && f.name[0] == '!' ? setup::FieldKind::Hidden
                                                                      : setup::FieldKind::Number));
        }
        blockSize += f.width;
    }
    FUZZ_CHECK(setup::LayoutSize(layout) == blockSize);

    std::string rest = layout;
    for (std::size_t i = 0; i < entries.size(); ++i)
        FUZZ_CHECK(setup::NextLayoutField(rest) == entries[i]);
    FUZZ_CHECK(setup::NextLayoutField(rest).empty());

    const ini::Profile file = ini::Profile::FromText("[S]\n" + body);
    const setup::BlockSpec spec{0x1234, "S", layout};
    const setup::BuiltBlock built = setup::BuildBlock(file, spec);
    fuzz::CheckBuiltBlock(file, spec, built);
    if (!built.skipped && !built.conversionError)
        FUZZ_CHECK(built.argument.size() == 2 + static_cast<std::size_t>(blockSize));
    return 0;
}
