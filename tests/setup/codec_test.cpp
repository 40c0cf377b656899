#include "ini/integer.h"
#include "setup/check.h"
#include "setup/codec.h"
#include "setup/layouts.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <string>

using koravel::Bytes;
using setup::BlockSpec;
using setup::BuildBlock;
using setup::Diagnostic;

namespace {

ini::Profile File(const std::string& text) {
    return ini::Profile::FromText(text);
}

const BlockSpec kFactoryNew{0, "Factory", setup::FactoryLayoutNew};
const BlockSpec kFactoryOld{0, "Factory", setup::FactoryLayoutOld};
const BlockSpec kUserOld{1, "User", setup::UserLayoutOld};
const BlockSpec kUserNew{1, "User", setup::UserLayoutNew};
const BlockSpec kOffs3{5, "Useroffs3", setup::UseroffsLayout};
const BlockSpec kTune33{69, "FactoryTune33", setup::FactoryTuneLayout};

// The bytes of one field inside a built argument (2 block-number bytes first).
Bytes Field(const Bytes& argument, std::size_t offset, std::size_t width) {
    const std::size_t at = offset + 2;
    if (at + width > argument.size())
        return {};
    return Bytes(argument.begin() + static_cast<std::ptrdiff_t>(at),
                 argument.begin() + static_cast<std::ptrdiff_t>(at + width));
}

Bytes Text(const std::string& s, std::size_t width) {
    Bytes b(s.begin(), s.end());
    b.resize(width, 0x00);
    return b;
}

} // namespace

TEST(Layouts, WalkStopsAtTheEndAndAtAnEmptyEntry) {
    std::string layout = "!checksum 1;mot_maxvel 2;?model 16;";
    EXPECT_EQ(setup::NextLayoutField(layout), "!checksum 1");
    EXPECT_EQ(layout, "mot_maxvel 2;?model 16;");
    EXPECT_EQ(setup::NextLayoutField(layout), "mot_maxvel 2");
    EXPECT_EQ(setup::NextLayoutField(layout), "?model 16");
    EXPECT_EQ(setup::NextLayoutField(layout), "");
    EXPECT_EQ(setup::NextLayoutField(layout), "");

    std::string unterminated = "a 1;b 2";
    EXPECT_EQ(setup::NextLayoutField(unterminated), "a 1");
    EXPECT_EQ(setup::NextLayoutField(unterminated), "b 2");
    EXPECT_EQ(unterminated, "");

    // ";;" ends the walk: what follows it is never read.
    const auto fields = setup::LayoutFields("!checksum 1;a 2;;b 4;");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[1].name, "a");
    EXPECT_EQ(setup::LayoutSize("!checksum 1;a 2;;b 4;"), 3);
}

TEST(Layouts, NamesWidthsAndKindsOfEntries) {
    EXPECT_EQ(setup::LayoutFieldName("?welcome 24"), "?welcome");
    EXPECT_EQ(setup::LayoutFieldName("nowidth"), "nowidth");
    EXPECT_EQ(setup::LayoutFieldWidth("?welcome 24"), 24);
    EXPECT_EQ(setup::LayoutFieldWidth("k_freq2mm 4"), 4);
    // Anything odd gives 0, never a wild number.
    for (const char* odd :
         {"x", "x ", "x abc", "x 2a", "x -1", "x 256", "x 4 4", "x 99999999999999999999"})
        EXPECT_EQ(setup::LayoutFieldWidth(odd), 0) << odd;
    EXPECT_EQ(setup::LayoutFieldWidth("x " + std::string(400, '0') + "7"), 0);

    const auto fields = setup::LayoutFields(setup::FactoryLayoutNew);
    ASSERT_EQ(fields.size(), 23u);
    EXPECT_EQ(fields[0].kind, setup::FieldKind::Hidden);
    EXPECT_EQ(fields[0].key, "!checksum");
    EXPECT_EQ(fields[19].kind, setup::FieldKind::Text);
    EXPECT_EQ(fields[19].key, "model");
    EXPECT_EQ(fields[19].width, 16);
    EXPECT_EQ(fields[18].kind, setup::FieldKind::Number);
    EXPECT_EQ(fields[18].key, "max_driver");
}

TEST(Layouts, SizesAndTheBlockMap) {
    EXPECT_EQ(setup::LayoutSize(setup::FactoryLayoutOld), 47);
    EXPECT_EQ(setup::LayoutSize(setup::FactoryLayoutNew), 108);
    EXPECT_EQ(setup::LayoutSize(setup::UserLayoutOld), 35);
    EXPECT_EQ(setup::LayoutSize(setup::UserLayoutNew), 42);
    EXPECT_EQ(setup::LayoutSize(setup::UseroffsLayout), 17);
    EXPECT_EQ(setup::LayoutSize(setup::FactoryTuneLayout), 9);

    const auto map = setup::BlockMap(268);
    ASSERT_EQ(map.size(), 68u);
    EXPECT_EQ(map[0].block, 0);
    EXPECT_EQ(map[0].section, "Factory");
    EXPECT_EQ(map[0].layout, setup::FactoryLayoutOld);
    EXPECT_EQ(map[1].layout, setup::UserLayoutOld);
    EXPECT_EQ(map[2].block, 3);
    EXPECT_EQ(map[2].section, "Useroffs1");
    EXPECT_EQ(map[34].block, 35);
    EXPECT_EQ(map[34].section, "Useroffs33");
    EXPECT_EQ(map[35].block, 37);
    EXPECT_EQ(map[35].section, "FactoryTune1");
    EXPECT_EQ(map[67].block, 69);
    EXPECT_EQ(map[67].section, "FactoryTune33");
    EXPECT_EQ(map[67].layout, setup::FactoryTuneLayout);
    for (const BlockSpec& spec : map)
        EXPECT_TRUE(spec.block != 2 && spec.block != 36);

    EXPECT_EQ(setup::BlockMap(0)[0].layout, setup::FactoryLayoutOld);
    EXPECT_EQ(setup::BlockMap(269)[0].layout, setup::FactoryLayoutNew);
    EXPECT_EQ(setup::BlockMap(269)[1].layout, setup::UserLayoutNew);
    EXPECT_EQ(setup::BlockMap(512)[1].layout, setup::UserLayoutNew);
}

TEST(Integers, WhatConvertsAndToWhat) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case good[] = {
        {"0", 0},
        {"12", 12},
        {" 12", 12},
        {"   -7", -7},
        {"+5", 5},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$1F", 31},
        {"$1f", 31},
        {"x1F", 31},
        {"X1f", 31},
        {"0x1F", 31},
        {"0X1F", 31},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"-$10", -16},
        {"+0x10", 16},
        {"$000000001", 1},
        {"-$80000000", INT32_MIN},
    };
    for (const Case& c : good) {
        const auto v = setup::ToInteger(c.text);
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_EQ(*v, c.value) << c.text;
    }
    for (const char* bad : {"",    " ",          "abc",         "12a",         "1 2",
                            "12 ", "2147483648", "-2147483649", "99999999999", "$123456789",
                            "- 5", "0x",         "$",           "x",           "X",
                            "+",   "-",          "$G1",         "1.5",         "1e3",
                            "--1", "+-1",        "$-1",         "0x 1",        "\t5"})
        EXPECT_FALSE(setup::ToInteger(bad).has_value()) << '"' << bad << '"';
    EXPECT_EQ(setup::NotAnIntegerMessage("abc"), "'abc' is not a valid integer value");
    EXPECT_EQ(setup::NotAnIntegerMessage(""), "'' is not a valid integer value");
    // A NUL byte inside the value does not cut the message short.
    EXPECT_EQ(setup::NotAnIntegerMessage(std::string("12\0ab", 5)),
              "'12\\0ab' is not a valid integer value");
}

TEST(Codec, FactoryNewFieldsLandAtTheirOffsets) {
    const auto file = File("[Factory]\r\n"
                           "mot_maxvel=1250\r\nmot_minvel=160\r\nmot_accel=24\r\n"
                           "pwm_rampa=410\r\npwm_crociera=720\r\npwm_azzera=310\r\n"
                           "vel_azzera=245\r\npwm_freq=20\r\nk_freq2mm=4660\r\n"
                           "min_estensio=250\r\nmax_estensio=5620\r\nmax_estensio2=5480\r\n"
                           "max_estensio3=5350\r\nmax_estensio4=5210\r\nk_mm2s_passi=200\r\n"
                           "k_mm2s_mm=25\r\nmax_tpband=33\r\nmax_driver=4\r\n"
                           "model=abc\r\nwelcome=" +
                           std::string(30, 'W') + "\r\neeprom_vers=3\r\nreser=r\r\n");
    const auto built = BuildBlock(file, kFactoryNew);
    ASSERT_FALSE(built.conversionError) << *built.conversionError;
    const Bytes& a = built.argument;
    ASSERT_EQ(a.size(), 110u);
    EXPECT_EQ(a[0], 0x00);
    EXPECT_EQ(a[1], 0x00);
    EXPECT_EQ(Field(a, 0, 1), Bytes{0x00}); // hidden checksum
    EXPECT_EQ(Field(a, 1, 2), (Bytes{0xE2, 0x04}));
    EXPECT_EQ(Field(a, 3, 2), (Bytes{0xA0, 0x00}));
    EXPECT_EQ(Field(a, 5, 1), Bytes{24});
    EXPECT_EQ(Field(a, 12, 2), (Bytes{0xF5, 0x00}));
    EXPECT_EQ(Field(a, 14, 1), Bytes{20});
    EXPECT_EQ(Field(a, 15, 4), (Bytes{0x34, 0x12, 0x00, 0x00}));
    EXPECT_EQ(Field(a, 19, 2), (Bytes{0xFA, 0x00}));
    EXPECT_EQ(Field(a, 21, 2), (Bytes{0xF4, 0x15}));
    EXPECT_EQ(Field(a, 27, 2), (Bytes{0x5A, 0x14}));
    EXPECT_EQ(Field(a, 31, 2), (Bytes{25, 0}));
    EXPECT_EQ(Field(a, 33, 1), Bytes{33});
    EXPECT_EQ(Field(a, 34, 1), Bytes{4});
    EXPECT_EQ(Field(a, 35, 16), Text("abc", 16));
    EXPECT_EQ(Field(a, 51, 24), Text(std::string(24, 'W'), 24));
    EXPECT_EQ(Field(a, 75, 1), Bytes{3});
    EXPECT_EQ(Field(a, 76, 32), Text("r", 32));
}

TEST(Codec, NumbersAreCutToTheirFieldLowByteFirst) {
    const auto file = File("[Factory]\n"
                           "mot_maxvel=-1\nmot_minvel=65536\npwm_rampa=$1F\n"
                           "pwm_crociera=  12\nmot_accel=300\nk_freq2mm=-2147483648\n"
                           "pwm_azzera=0x1234\nvel_azzera=$FFFFFFFF\n");
    const auto a = BuildBlock(file, kFactoryOld).argument;
    ASSERT_EQ(a.size(), 49u);
    EXPECT_EQ(Field(a, 1, 2), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(Field(a, 3, 2), (Bytes{0x00, 0x00}));
    EXPECT_EQ(Field(a, 5, 1), Bytes{0x2C});
    EXPECT_EQ(Field(a, 6, 2), (Bytes{0x1F, 0x00}));
    EXPECT_EQ(Field(a, 8, 2), (Bytes{0x0C, 0x00}));
    EXPECT_EQ(Field(a, 10, 2), (Bytes{0x34, 0x12}));
    EXPECT_EQ(Field(a, 12, 2), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(Field(a, 15, 4), (Bytes{0x00, 0x00, 0x00, 0x80}));
    // Keys that are not in the section go out as zeros, the text as 0x00s.
    EXPECT_EQ(Field(a, 19, 12), Bytes(12, 0x00));
    EXPECT_EQ(Field(a, 31, 16), Bytes(16, 0x00));
}

TEST(Codec, TextsGoOutAsTheyStandCutOrPadded) {
    // The old User block holds the welcome text; bytes above 0x7F pass unchanged.
    const std::string welcome = "Benvenuto sul KV-100, \xE8 ok!"; // 27 bytes
    const auto file = File("[user]\nWELCOME=" + welcome + "\nbipbip=1\n");
    const auto built = BuildBlock(file, kUserOld);
    ASSERT_EQ(built.argument.size(), 37u);
    EXPECT_EQ(built.argument[0], 0x01);
    EXPECT_EQ(Field(built.argument, 1, 1), Bytes{1});
    EXPECT_EQ(Field(built.argument, 8, 24), Text(welcome.substr(0, 24), 24));
    EXPECT_EQ(Field(built.argument, 32, 3), Bytes(3, 0x00));

    // An empty value is a text of nothing: all 0x00.
    const auto blank = BuildBlock(File("[User]\nreser=\n"), kUserNew);
    ASSERT_EQ(blank.argument.size(), 44u);
    EXPECT_EQ(Field(blank.argument, 14, 28), Bytes(28, 0x00));
}

TEST(Codec, SectionsWithoutKeysAreSkippedAndTheChecksumKeyIsHonoured) {
    const auto file = File("[Useroffs3]\noffset2=7\n[Useroffs4]\n; nothing here\n"
                           "[FactoryTune33]\n!checksum=$A5\nTune4=-2\n");
    const auto absent = BuildBlock(file, BlockSpec{37, "FactoryTune1", setup::FactoryTuneLayout});
    EXPECT_TRUE(absent.skipped);
    EXPECT_TRUE(absent.argument.empty());
    const auto empty = BuildBlock(file, BlockSpec{6, "Useroffs4", setup::UseroffsLayout});
    EXPECT_TRUE(empty.skipped);

    const auto offs = BuildBlock(file, kOffs3);
    EXPECT_FALSE(offs.skipped);
    EXPECT_EQ(offs.argument, (Bytes{5, 0, 0x00, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    const auto tune = BuildBlock(file, kTune33);
    EXPECT_EQ(tune.argument, (Bytes{69, 0, 0xA5, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF}));
}

TEST(Codec, AValueThatIsNotAnIntegerStopsTheBlock) {
    for (const char* value : {"", "abc", "2147483648", "$123456789", "- 5", "0x"}) {
        const auto file = File(std::string("[Useroffs3]\noffset1=1\noffset3=") + value + "\n");
        const auto built = BuildBlock(file, kOffs3);
        ASSERT_TRUE(built.conversionError.has_value()) << value;
        EXPECT_EQ(*built.conversionError, setup::NotAnIntegerMessage(value));
        EXPECT_TRUE(built.argument.empty());
        EXPECT_FALSE(built.skipped);
    }
    // The first bad value is the one named; the others are still noted.
    const auto twice = BuildBlock(File("[Useroffs3]\noffset4=y\noffset2=x\n"), kOffs3);
    EXPECT_EQ(*twice.conversionError, "'x' is not a valid integer value");
    EXPECT_EQ(std::ranges::count_if(
                  twice.diagnostics,
                  [](const Diagnostic& d) { return d.kind == Diagnostic::Kind::NotAnInteger; }),
              2);
}

TEST(Codec, FitsWidthBounds) {
    EXPECT_TRUE(setup::FitsWidth(-128, 1));
    EXPECT_FALSE(setup::FitsWidth(-129, 1));
    EXPECT_TRUE(setup::FitsWidth(255, 1));
    EXPECT_FALSE(setup::FitsWidth(256, 1));
    EXPECT_TRUE(setup::FitsWidth(65535, 2));
    EXPECT_FALSE(setup::FitsWidth(65536, 2));
    EXPECT_FALSE(setup::FitsWidth(-32769, 2));
    EXPECT_TRUE(setup::FitsWidth(INT32_MIN, 4));
    EXPECT_TRUE(setup::FitsWidth(INT32_MAX, 4));
}

TEST(Check, ReportsWhatWouldBeCutWrappedIgnoredRefusedMissingOrRepeatedWithLines) {
    const std::string text = "; set-up for a unit below 1.13\r\n"         // 1
                             "[Factory]\r\n"                              // 2
                             "mot_accel=300\r\n"                          // 3
                             "model=KV-100 ROTARY DIPOLE X\r\n"           // 4
                             "min_estensio=250\r\n"                       // 5
                             "\r\n"                                       // 6
                             "[User]\r\n"                                 // 7
                             "welcome=Benvenuto sul KV-100, buon DX!\r\n" // 8
                             "civ_mode=1\r\n"                             // 9
                             "[Useroffs2]\r\n"                            // 10
                             "offset1=12a\r\n"                            // 11
                             "[Useroffs34]\r\n"                           // 12
                             "offset1=5\r\n"                              // 13
                             "[useroffs34]\r\n"                           // 14: repeated
                             "k=2\r\n"                                    // 15
                             "[FACTORYTUNE1]\r\n"                         // 16: a block's
                             "Tune1=1\r\n"                                // 17
                             "tune1=2\r\n"                                // 18: repeated
                             "[Factory]\r\n"                              // 19: repeated
                             "mot_maxvel=1250\r\n";                       // 20
    const auto report = setup::CheckSetupFile(File(text), 268);
    EXPECT_FALSE(report.Clean());
    EXPECT_TRUE(report.holdsSetupData);
    ASSERT_EQ(report.blocks.size(), 68u);

    std::vector<Diagnostic> all;
    std::vector<Diagnostic> missing;
    for (const Diagnostic& d : report.Diagnostics())
        (d.kind == Diagnostic::Kind::MissingKey ? missing : all).push_back(d);
    std::vector<std::string> lines;
    for (const Diagnostic& d : all)
        lines.push_back(setup::Describe(d));
    ASSERT_EQ(all.size(), 9u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0], "line 14: [useroffs34] given again: only the section at line 12 is read");
    EXPECT_EQ(lines[1], "line 19: [Factory] given again: only the section at line 2 is read");
    EXPECT_EQ(lines[2], "line 3: [Factory] mot_accel: 300 does not fit in 1 byte; only its low "
                        "bytes are sent");
    EXPECT_EQ(lines[3], "line 4: [Factory] model: text of 22 bytes is cut to 16 bytes");
    EXPECT_EQ(all[4].kind, Diagnostic::Kind::UnreadKey); // the new layout's key in an old file
    EXPECT_EQ(all[4].key, "min_estensio");
    EXPECT_EQ(all[4].line, 5);
    EXPECT_EQ(all[5].kind, Diagnostic::Kind::TextCut);
    EXPECT_EQ(all[5].section, "User");
    EXPECT_EQ(all[5].line, 8);
    EXPECT_EQ(lines[6], "line 11: [Useroffs2] offset1: '12a' is not a valid integer value");
    EXPECT_EQ(lines[7], "line 18: [FactoryTune1] tune1: given again; the value at line 17 is "
                        "read");
    ASSERT_EQ(report.blocks[35].spec.section, "FactoryTune1");
    EXPECT_EQ(report.blocks[35].argument[3], 1); // Tune1 from line 17
    EXPECT_EQ(all[8].kind, Diagnostic::Kind::UnreadKey);
    EXPECT_EQ(all[8].section, "Useroffs34");
    EXPECT_EQ(all[8].line, 13);

    // Every field of a block that is written and that its section does not
    // give, at its section's line; the hidden checksum never.
    std::vector<std::string> factoryMissing;
    for (const Diagnostic& d : missing) {
        EXPECT_NE(d.key, "!checksum");
        if (d.section == "Factory") {
            EXPECT_EQ(d.line, 2);
            factoryMissing.push_back(d.key);
        }
    }
    EXPECT_EQ(factoryMissing.size(), 14u); // 16 fields, 2 given; mot_maxvel of line 20 unread
    EXPECT_EQ(factoryMissing.front(), "mot_maxvel");
    EXPECT_EQ(setup::Describe(missing.front()),
              "line 2: [Factory] mot_maxvel: not in the section; 0 goes out instead");
    EXPECT_EQ(missing.size(), 14u + 9u + 3u + 3u); // Factory, User, Useroffs2, FactoryTune1

    // Bytes are still there for the blocks that convert; the same file read for a
    // newer unit reads min_estensio and no longer reads civ_mode.
    EXPECT_EQ(report.blocks[0].argument.size(), 49u);
    EXPECT_TRUE(report.blocks[3].argument.empty());
    const auto newer = setup::CheckSetupFile(File(text), 269);
    std::vector<std::string> unread;
    for (const Diagnostic& d : newer.Diagnostics())
        if (d.kind == Diagnostic::Kind::UnreadKey)
            unread.push_back(d.key);
    EXPECT_EQ(unread, (std::vector<std::string>{"welcome", "civ_mode", "offset1"}));
}

TEST(Check, ACompleteSampleFileIsClean) {
    std::string error;
    for (const auto& [name, firmware] :
         {std::pair{"kv100-fw112.koravel", 268}, std::pair{"kv100-fw113.koravel", 269}}) {
        const auto file =
            ini::Profile::Load(std::string(KORAVEL_SOURCE_DIR) + "/tests/data/" + name, error);
        ASSERT_TRUE(file.has_value()) << name << ": " << error;
        const auto report = setup::CheckSetupFile(*file, firmware);
        EXPECT_TRUE(report.Clean()) << name;
        for (const auto& block : report.blocks) {
            EXPECT_FALSE(block.skipped) << block.spec.section;
            EXPECT_EQ(block.argument.size(), 2u + setup::LayoutSize(block.spec.layout));
        }
    }
}
