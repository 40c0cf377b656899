#include "ini/profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using ini::Profile;

namespace {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "ini_test.XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = tmpl;
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // Names in the folder (a temporary file left behind shows here).
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

private:
    fs::path path_;
};

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string TextAfterSet(const std::string& text, const std::string& section,
                         const std::string& key, const std::string& value) {
    Profile p = Profile::FromText(text);
    p.Set(section, key, value);
    return p.Text();
}

} // namespace

TEST(IniLookup, NamesCaseBlanksQuotesAndFirstMatch) {
    const Profile p = Profile::FromText("top=before any section\n"
                                        "; comment=not a key\n"
                                        "[General]\n"
                                        "  SerialPort \t=  3 \t\n"
                                        "   ;Serialport=9\n"
                                        "serialport=4\n"
                                        "text line without equals\n"
                                        "Quoted=\"  a b  \"\n"
                                        "Single='x'\n"
                                        "Mixed=\"x'\n"
                                        "Lone=\"\n"
                                        "Empty=\n"
                                        "Eq=a=b\n"
                                        "[ omnirig ] trailing text\n"
                                        "Rig1=1\n"
                                        "[GENERAL]\n"
                                        "Serialport=7\n"
                                        "Other=8\n");
    EXPECT_EQ(p.Get("general", "serialport"), "3");
    EXPECT_EQ(p.Get(" GENERAL ", " SERIALPORT "), "3");
    EXPECT_EQ(p.LineOf("General", "Serialport"), 4);
    EXPECT_EQ(p.Get("General", "Quoted"), "  a b  ");
    EXPECT_EQ(p.Get("General", "Single"), "x");
    EXPECT_EQ(p.Get("General", "Mixed"), "\"x'");
    EXPECT_EQ(p.Get("General", "Lone"), "\"");
    EXPECT_EQ(p.Get("General", "Empty"), "");
    EXPECT_EQ(p.Get("General", "Eq"), "a=b");
    // A key of a later section of the same name is not found.
    EXPECT_EQ(p.Get("General", "Other"), std::nullopt);
    EXPECT_EQ(p.GetString("General", "Other", "dflt"), "dflt");
    EXPECT_EQ(p.Get("OmniRig", "Rig1"), "1");
    EXPECT_EQ(p.Get("", "top"), std::nullopt);
    EXPECT_EQ(p.Get("General", "; comment"), std::nullopt);
    EXPECT_EQ(p.Get("General", ";Serialport"), std::nullopt);

    EXPECT_EQ(p.Keys("general"),
              (std::vector<std::string>{"SerialPort", "serialport", "Quoted", "Single", "Mixed",
                                        "Lone", "Empty", "Eq"}));
    EXPECT_EQ(p.Sections(), (std::vector<std::string>{"General", "omnirig", "GENERAL"}));
    EXPECT_EQ(p.SectionLine("OMNIRIG"), 14);
    EXPECT_EQ(p.SectionLine("General"), 3);
    EXPECT_EQ(p.SectionLine("Missing"), 0);
    EXPECT_EQ(p.LineOf("OmniRig", "Rig2"), 0);
    EXPECT_TRUE(p.HasSection("omniRIG"));
    EXPECT_FALSE(p.HasSection("Missing"));
    EXPECT_TRUE(p.Keys("Missing").empty());
}

TEST(IniLookup, FirstOfManySectionsOfOneName) {
    std::string text;
    for (int i = 0; i < 100; ++i) {
        const std::string n = std::to_string(i);
        text.append("[").append(i % 2 ? "dup" : "DUP").append("]\nn=").append(n).append("\n");
        text.append("[s").append(std::to_string(99 - i)).append("]\nn=").append(n).append("\n");
    }
    const Profile p = Profile::FromText(text);
    EXPECT_EQ(p.Get("Dup", "n"), "0");
    EXPECT_EQ(p.SectionLine("dup"), 1);
    EXPECT_EQ(p.Get("s0", "n"), "99");
    EXPECT_EQ(p.LineOf("s0", "n"), 400);
    EXPECT_EQ(p.Sections().size(), 200u);
}

// Names compare without regard to case, which is bit 5 of a letter: names
// that differ only in that bit outside the letters ("@" and "`", "[" and "{",
// "1" and "\x11") must still be told apart, in sections and in keys, and a
// section looked up once reads like the profile.
TEST(IniLookup, NamesThatFoldAlikeButDifferStayApart) {
    const Profile p = Profile::FromText("[a@]\nk1=at\nK\x11=low\n"
                                        "[a`]\nk1=grave\n"
                                        "[x[]\nv=bracket\n"
                                        "[X{]\nv=brace\n"
                                        "[A@]\nk1=later\n");
    EXPECT_EQ(p.Get("A@", "K1"), "at");
    EXPECT_EQ(p.Get("a`", "k1"), "grave");
    EXPECT_EQ(p.Get("a@", "k\x11"), "low");
    EXPECT_EQ(p.Get("a@", "k1 "), "at");
    EXPECT_EQ(p.Get("a@", "k\x31"), "at"); // "1" itself
    EXPECT_EQ(p.Get("a`", "k\x11"), std::nullopt);
    EXPECT_EQ(p.Get("X[", "v"), "bracket");
    EXPECT_EQ(p.Get("x{", "v"), "brace");
    EXPECT_FALSE(p.HasSection("a\x60\x60"));
    EXPECT_EQ(p.SectionLine("a`"), 4);

    const Profile::SectionView at = p.Section(" a@ ");
    ASSERT_TRUE(at.found());
    EXPECT_EQ(at.Keys(), (std::vector<std::string>{"k1", "K\x11"}));
    EXPECT_EQ(at.Get("K1"), "at");
    EXPECT_EQ(at.GetString("missing", "dflt"), "dflt");
    EXPECT_EQ(at.LineOf("k\x11"), 3);
    EXPECT_FALSE(p.Section("b").found());
    EXPECT_TRUE(p.Section("b").Keys().empty());
}

TEST(IniLookup, BracketLinesAndCrLf) {
    const Profile p = Profile::FromText("[a]\r\n"
                                        "[no close=1\r\n"
                                        "k = v \r\n"
                                        "[]\r\n"
                                        "e=empty name\r\n"
                                        "[b]\r\n"
                                        "last=x");
    EXPECT_EQ(p.Get("a", "[no close"), "1");
    EXPECT_EQ(p.Get("a", "k"), "v");
    EXPECT_EQ(p.Get("", "e"), "empty name");
    EXPECT_EQ(p.Get("b", "last"), "x");
    EXPECT_EQ(p.LineOf("b", "last"), 7);
}

TEST(IniWrite, ReplacesInPlaceAndKeepsEveryOtherByte) {
    const std::string before = "; settings\n"
                               "[General]\n"
                               "  serialPORT =  3  ; old\n"
                               "Unknown=\xff\x01 kept \n"
                               "\n"
                               "[OmniRig]\n"
                               "Rig1=0\n";
    EXPECT_EQ(TextAfterSet(before, "general", "Serialport", "12"), "; settings\n"
                                                                   "[General]\n"
                                                                   "Serialport=12\n"
                                                                   "Unknown=\xff\x01 kept \n"
                                                                   "\n"
                                                                   "[OmniRig]\n"
                                                                   "Rig1=0\n");
    // The first of two keys of the same name is the one written.
    EXPECT_EQ(TextAfterSet("[s]\nk=1\nK=2\n[S]\nk=3\n", "S", "k", "9"),
              "[s]\nk=9\nK=2\n[S]\nk=3\n");
}

TEST(IniWrite, AddsKeyAtTheEndOfItsSection) {
    // After the last line that is not blank, before the blank lines that part
    // it from the next section.
    EXPECT_EQ(TextAfterSet("[General]\n"
                           "Serialport=1\n"
                           "; a comment\n"
                           "\n"
                           " \t\n"
                           "[OmniRig]\n"
                           "Rig1=1\n",
                           "GENERAL", "Extra", "x"),
              "[General]\n"
              "Serialport=1\n"
              "; a comment\n"
              "Extra=x\n"
              "\n"
              " \t\n"
              "[OmniRig]\n"
              "Rig1=1\n");
    // A section with no lines gets the key right under its header.
    EXPECT_EQ(TextAfterSet("[a]\n\n[b]\n", "a", "k", "v"), "[a]\nk=v\n\n[b]\n");
    // The last section of a file without a final line end: the appended line
    // ends the file with one.
    EXPECT_EQ(TextAfterSet("[a]\nx=1", "a", "k", "v"), "[a]\nx=1\nk=v\n");
    // A key is never added to a second section of the same name.
    EXPECT_EQ(TextAfterSet("[a]\nx=1\n[A]\ny=2\n", "a", "k", "v"), "[a]\nx=1\nk=v\n[A]\ny=2\n");
}

TEST(IniWrite, AddsSectionAtTheEndAndKeepsLineEnds) {
    EXPECT_EQ(TextAfterSet("", "General", "Serialport", "1"), "[General]\nSerialport=1\n");
    EXPECT_EQ(TextAfterSet("[a]\nx=1\n", "b", "k", "v"), "[a]\nx=1\n\n[b]\nk=v\n");
    EXPECT_EQ(TextAfterSet("[a]\nx=1\n\n", "b", "k", "v"), "[a]\nx=1\n\n[b]\nk=v\n");
    EXPECT_EQ(TextAfterSet("[a]\nx=1", "b", "k", "v"), "[a]\nx=1\n\n[b]\nk=v\n");
    // CR LF files stay CR LF; a replaced line keeps its own line end, and a
    // file without a final line end keeps that when nothing is appended.
    EXPECT_EQ(TextAfterSet("[a]\r\nx=1\r\n", "b", "k", "v"), "[a]\r\nx=1\r\n\r\n[b]\r\nk=v\r\n");
    EXPECT_EQ(TextAfterSet("[a]\r\nx=1\r\n\r\n[b]\r\ny=2", "a", "k", "v"),
              "[a]\r\nx=1\r\nk=v\r\n\r\n[b]\r\ny=2");
    EXPECT_EQ(TextAfterSet("[a]\r\nx=1\ny=2", "a", "y", "3"), "[a]\r\nx=1\ny=3");

    // What is written reads back, also after many writes.
    Profile p = Profile::FromText("[General]\r\nSerialport=1\r\n");
    for (int i = 0; i < 20; ++i) {
        p.Set("General", "Serialport", std::to_string(i));
        p.Set("OmniRig", "Rig" + std::to_string(i % 2 + 1), std::to_string(i % 3));
    }
    EXPECT_EQ(p.Text(), "[General]\r\nSerialport=19\r\n\r\n[OmniRig]\r\nRig1=0\r\nRig2=1\r\n");
    // A value never adds a line.
    p.Set("General", "Serialport", "1\r\n[Evil]\nx=1");
    EXPECT_FALSE(p.HasSection("Evil"));
    EXPECT_EQ(p.Get("General", "Serialport"), "1  [Evil] x=1");
}

TEST(IniByteOrderMark, SkippedWhenReadKeptWhenWritten) {
    const std::string bom = "\xEF\xBB\xBF";
    TempDir dir;
    const std::string path = dir / "koravel.ini";
    const std::string text = bom + "[General]\r\nSerialport=3\r\n";
    WriteFile(path, text);
    std::string error;
    std::optional<Profile> p = Profile::Load(path, error);
    ASSERT_TRUE(p.has_value()) << error;
    EXPECT_EQ(p->Get("General", "Serialport"), "3");
    EXPECT_EQ(p->Sections(), std::vector<std::string>{"General"});
    EXPECT_EQ(p->SectionLine("General"), 1);
    EXPECT_EQ(p->LineOf("General", "Serialport"), 2);
    EXPECT_TRUE(p->LinesBeforeSections().empty());
    EXPECT_EQ(p->Text(), text);
    // Rewritten: the mark stays in front, every other byte where it was.
    p->Set("General", "Serialport", "4");
    p->Set("OmniRig", "Rig1", "1");
    ASSERT_TRUE(p->Save(path, error)) << error;
    EXPECT_EQ(ReadFile(path), bom + "[General]\r\nSerialport=4\r\n\r\n[OmniRig]\r\nRig1=1\r\n");

    // A file of the mark alone takes a section as an empty file does.
    EXPECT_EQ(TextAfterSet(bom, "General", "Serialport", "1"), bom + "[General]\nSerialport=1\n");
    // Anywhere but at the very start the bytes are text like any other.
    EXPECT_FALSE(Profile::FromText("\n" + bom + "[a]\nk=1\n").HasSection("a"));
    EXPECT_FALSE(Profile::FromText(bom + bom + "[a]\nk=1\n").HasSection("a"));
}

TEST(IniLookup, LinesBeforeTheFirstSection) {
    const std::string bom = "\xEF\xBB\xBF";
    // Comments and blank lines are meant to be passed over; a key or any
    // other text there is not read either.
    const Profile p = Profile::FromText(bom + "Koravel\r\n; made by hand\r\n\r\nkey=1\r\n"
                                              " \t\r\n[Factory] x\r\nlater=2\r\n[User]\r\n");
    const auto loose = p.LinesBeforeSections();
    ASSERT_EQ(loose.size(), 2u);
    EXPECT_EQ(loose[0].line, 1);
    EXPECT_EQ(loose[0].text, "Koravel"); // the mark is not part of it
    EXPECT_EQ(loose[1].line, 4);
    EXPECT_EQ(loose[1].text, "key=1");
    EXPECT_TRUE(Profile::FromText("[a]\nk=1\n").LinesBeforeSections().empty());
    EXPECT_EQ(Profile::FromText("no sections at all").LinesBeforeSections().size(), 1u);
}

TEST(IniRoundTrip, OddBytesComeBackUnchanged) {
    const std::string samples[] = {
        "",
        "\n",
        "\r\n\r\n",
        "no line end",
        "[a]\r\nx=1\ny=2\r\n\r",
        std::string("[a\0b]\nk\0=v\0\n\0\0", 14),
        "\xef\xbb\xbf[a]\nk=\xe8\n\x1a",
        "[a\n[b]]]\n=\n==\n;\n[\n]\n",
    };
    for (const std::string& s : samples) {
        EXPECT_EQ(Profile::FromText(s).Text(), s);
    }
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; ++round) {
        std::string s(rng() % 300, '\0');
        for (char& c : s) {
            // Bias towards the bytes that mean something to the parser.
            static const char special[] = "[]=;\r\n \t\"'";
            c = (rng() % 2) ? special[rng() % (sizeof special - 1)] : static_cast<char>(rng());
        }
        Profile p = Profile::FromText(s);
        ASSERT_EQ(p.Text(), s);
        for (const std::string& section : p.Sections()) {
            for (const std::string& key : p.Keys(section)) {
                EXPECT_TRUE(p.Get(section, key).has_value());
                EXPECT_GT(p.LineOf(section, key), p.SectionLine(section));
            }
        }
        p.Set("Sec", "Key", "val");
        EXPECT_EQ(p.Get("Sec", "Key"), "val");
    }
}

TEST(IniFile, LoadRefusesWhatItCannotRead) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(Profile::Load(dir / "missing.ini", error));
    EXPECT_EQ(error, "No such file or directory");
    // Only regular files are read, and anything else is refused at once.
    EXPECT_FALSE(Profile::Load(dir / "", error));
    EXPECT_EQ(error, "is a directory");
    EXPECT_FALSE(Profile::Load("/dev/zero", error));
    EXPECT_EQ(error, "is a character device");
    EXPECT_FALSE(Profile::Load(dir / "missing/x.ini", error));
    EXPECT_EQ(error, "No such file or directory");

    WriteFile(dir / "big.ini", std::string(100, 'x'));
    EXPECT_FALSE(Profile::Load(dir / "big.ini", error, 99));
    EXPECT_EQ(error, "larger than 99 bytes");
    EXPECT_TRUE(Profile::Load(dir / "big.ini", error, 100));
    WriteFile(dir / "huge.ini", std::string(ini::kMaxFileSize + 1, '\n'));
    EXPECT_FALSE(Profile::Load(dir / "huge.ini", error));
    EXPECT_EQ(error, "larger than 4 MiB");
}

TEST(IniFile, HostileInputDoesNotCrash) {
    TempDir dir;
    std::string error;
    // A 5 MB line, with and without keys in it.
    std::string hostile = "[a]\n" + std::string(5u << 20, 'k') +
                          "=v\n[b]\nx=" + std::string(5u << 20, '\0') + "\n" +
                          std::string(1u << 20, '[');
    WriteFile(dir / "hostile.ini", hostile);
    std::optional<Profile> p = Profile::Load(dir / "hostile.ini", error, 16u << 20);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->Text(), hostile);
    EXPECT_EQ(p->Keys("a").size(), 1u);
    EXPECT_EQ(p->Get("b", "x")->size(), 5u << 20);
    EXPECT_EQ(p->Get("a", "k"), std::nullopt);

    // Random bytes.
    std::mt19937 rng(99);
    std::string noise(1u << 20, '\0');
    for (char& c : noise) {
        c = static_cast<char>(rng());
    }
    WriteFile(dir / "noise.ini", noise);
    p = Profile::Load(dir / "noise.ini", error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->Text(), noise);
    for (const std::string& section : p->Sections()) {
        p->Keys(section);
    }
}

TEST(IniFile, SaveReplacesAtomicallyAndKeepsPermissions) {
    TempDir dir;
    const std::string path = dir / "koravel.ini";
    WriteFile(path, "[General]\r\nSerialport=1\r\n; mine\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    std::string error;
    std::optional<Profile> p = Profile::Load(path, error);
    ASSERT_TRUE(p) << error;
    p->Set("General", "Serialport", "5");
    ASSERT_TRUE(p->Save(path, error)) << error;
    EXPECT_EQ(ReadFile(path), "[General]\r\nSerialport=5\r\n; mine\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"koravel.ini"});

    // A new file, and one behind a symbolic link (the link stays).
    ASSERT_TRUE(Profile::FromText("x").Save(dir / "new.ini", error)) << error;
    EXPECT_EQ(ReadFile(dir / "new.ini"), "x");
    fs::create_symlink(path, dir / "link.ini");
    ASSERT_TRUE(Profile::FromText("[b]\n").Save(dir / "link.ini", error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(ReadFile(path), "[b]\n");
}

TEST(IniFile, SaveFailuresLeaveTheOldFile) {
    TempDir dir;
    std::string error;
    const Profile p = Profile::FromText("[a]\nk=v\n");
    EXPECT_FALSE(p.Save(dir / "missing/x.ini", error));
    EXPECT_EQ(error, "No such file or directory");
    WriteFile(dir / "plain", "not a folder");
    EXPECT_FALSE(p.Save(dir / "plain/x.ini", error));
    EXPECT_EQ(error, "Not a directory");
    fs::create_directory(dir / "sub");
    EXPECT_FALSE(p.Save(dir / "sub", error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
    // A file made read-only stays as it is, whoever runs the program (the
    // rename would replace it: the folder allows it).
    WriteFile(dir / "locked.ini", "[a]\nk=mine\n");
    ASSERT_EQ(::chmod((dir / "locked.ini").c_str(), 0444), 0);
    EXPECT_FALSE(p.Save(dir / "locked.ini", error));
    EXPECT_EQ(error, "the file is read-only");
    EXPECT_EQ(ReadFile(dir / "locked.ini"), "[a]\nk=mine\n");

    // A write that fails half way (the file-size limit stands in for a full
    // disk): the old file stays whole and no temporary file is left behind.
    const std::string path = dir / "koravel.ini";
    WriteFile(path, "old");
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = Profile::FromText(std::string(10000, 'x')).Save(path, error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(error, "File too large");
    EXPECT_EQ(ReadFile(path), "old");
    std::vector<std::string> names = dir.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"koravel.ini", "locked.ini", "plain", "sub"}));
}

TEST(IniInteger, ProfileIntegersAndBooleans) {
    EXPECT_EQ(ini::ParseProfileInteger("12"), 12);
    EXPECT_EQ(ini::ParseProfileInteger(" \t-7 "), -7);
    EXPECT_EQ(ini::ParseProfileInteger("+0"), 0);
    EXPECT_EQ(ini::ParseProfileInteger("0x1f"), 31);
    EXPECT_EQ(ini::ParseProfileInteger("0XFF"), 255);
    EXPECT_EQ(ini::ParseProfileInteger("$10"), 16);
    EXPECT_EQ(ini::ParseProfileInteger("-$10"), -16);
    EXPECT_EQ(ini::ParseProfileInteger("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(ini::ParseProfileInteger("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ini::ParseProfileInteger("0x7fffffffffffffff"), INT64_MAX);
    for (const char* bad :
         {"", " ", "-", "0x", "$", "1a", "a", "1 2", "12.0", "x1", "--1", "9223372036854775808",
          "-9223372036854775809", "0x8000000000000000", "99999999999999999999999"}) {
        EXPECT_EQ(ini::ParseProfileInteger(bad), std::nullopt) << bad;
    }

    const Profile p = Profile::FromText("[OmniRig]\nRig1=1\nRig2=0\nRig3=$0\nRig4=yes\nRig5=-2\n");
    EXPECT_TRUE(ini::GetProfileBool(p, "omnirig", "Rig1", false));
    EXPECT_FALSE(ini::GetProfileBool(p, "OmniRig", "Rig2", true));
    EXPECT_FALSE(ini::GetProfileBool(p, "OmniRig", "Rig3", true));
    EXPECT_TRUE(ini::GetProfileBool(p, "OmniRig", "Rig4", true));
    EXPECT_FALSE(ini::GetProfileBool(p, "OmniRig", "Rig4", false));
    EXPECT_TRUE(ini::GetProfileBool(p, "OmniRig", "Rig5", false));
    EXPECT_TRUE(ini::GetProfileBool(p, "OmniRig", "Missing", true));
}
