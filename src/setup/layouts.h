// The layouts of the control unit's set-up blocks and the block map.
//
// A layout lists a block's fields in order, each entry "name width;". A name
// that starts with "!" is a hidden number (its INI key keeps the "!"), one
// that starts with "?" is text (the key drops the "?"), any other is a
// number. Fields follow one another without gaps; the block's size is the sum
// of the widths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

constexpr std::string_view FactoryLayoutOld =
    "!checksum 1;mot_maxvel 2;mot_minvel 2;mot_accel 1;pwm_rampa 2;pwm_crociera 2;pwm_azzera 2;"
    "vel_azzera 2;pwm_freq 1;k_freq2mm 4;max_estensio1 2;max_estensio2 2;max_estensio3 2;"
    "max_estensio4 2;k_mm2s_passi 2;k_mm2s_mm 2;?model 16;";

constexpr std::string_view FactoryLayoutNew =
    "!checksum 1;mot_maxvel 2;mot_minvel 2;mot_accel 1;pwm_rampa 2;pwm_crociera 2;pwm_azzera 2;"
    "vel_azzera 2;pwm_freq 1;k_freq2mm 4;min_estensio 2;max_estensio 2;max_estensio2 2;"
    "max_estensio3 2;max_estensio4 2;k_mm2s_passi 2;k_mm2s_mm 2;max_tpband 1;max_driver 1;"
    "?model 16;?welcome 24;eeprom_vers 1;?reser 32;";

constexpr std::string_view UserLayoutOld =
    "!checksum 1;bipbip 1;movebip 1;repebip 1;contrasto 1;luminosita 1;lingua 1;umisura 1;"
    "?welcome 24;civ_mode 1;civ_brate 1;civ_proto 1;";

constexpr std::string_view UserLayoutNew =
    "!checksum 1;bipbip 1;movebip 1;repebip 1;contrasto 1;luminosita 1;lingua 1;umisura 1;"
    "rtx_mode 1;rtx_commpars 1;rtx_proto 1;rtx_addr 1;rtx_addrT 1;eeprom_vers 1;?reser 28;";

constexpr std::string_view UseroffsLayout = "!checksum 1;offset1 4;offset2 4;offset3 4;offset4 4;";

constexpr std::string_view FactoryTuneLayout = "!checksum 1;Tune1 2;Tune2 2;Tune3 2;Tune4 2;";

// From this firmware version (major * 256 + minor, 1.13) on, the unit uses
// the new Factory and User layouts.
constexpr int kNewLayoutFirmware = 269;

// Removes the first entry and its ";" from layout and returns the entry
// without the ";" (the whole rest when no ";" is left). Empty when the layout
// is used up; an empty entry (";;") likewise ends a walk.
std::string NextLayoutField(std::string& layout);
// The text before the first blank, marker included ("?model").
std::string LayoutFieldName(std::string_view entry);
// The decimal number after the first blank (at most 255 characters of it are
// looked at). 0 when there is no such number or it is beyond kMaxFieldWidth.
int LayoutFieldWidth(std::string_view entry);

// No block is wider than what fits in one request.
constexpr int kMaxFieldWidth = 255;

enum class FieldKind { Hidden, Text, Number };

struct LayoutField {
    std::string name; // as in the layout, marker included
    std::string key;  // the INI key that holds the value
    FieldKind kind = FieldKind::Number;
    int width = 0;
};

// Every field of a layout, walked as NextLayoutField walks it.
std::vector<LayoutField> LayoutFields(std::string_view layout);
// The same for one of the unit's own layouts (the six below), walked once and
// kept for the program's life; null for any other layout.
const std::vector<LayoutField>* KnownLayoutFields(std::string_view layout);
// Whether a field of the layout reads the INI key (names compared without
// regard to case).
bool LayoutReads(std::string_view layout, std::string_view key);
// The block size in bytes: the sum of the widths.
int LayoutSize(std::string_view layout);

// One set-up block: its number, the INI section that holds its values and
// the layout of its bytes.
struct BlockSpec {
    std::uint16_t block = 0;
    std::string section;
    std::string_view layout;
};

// Number of blocks a set-up file fills.
constexpr int kBlockCount = 68;
constexpr int kOffsetSections = 33;
constexpr int kTuneSections = 33;

struct LayoutPair {
    std::string_view factory;
    std::string_view user;
};
// The Factory and User layouts that a unit of this firmware version uses.
LayoutPair LayoutsForFirmware(int firmwareVersion);

// The 68 blocks in the order they are sent: 0 Factory, 1 User, 3..35
// Useroffs1..33, 37..69 FactoryTune1..33. The two maps live as long as the
// program.
const std::vector<BlockSpec>& BlockMap(int firmwareVersion);

} // namespace setup
