// koravelctl send and check against the simulated unit.
#include "ctl/ctl_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {

std::string DataFile(const std::string& name) {
    return std::string(KORAVEL_SOURCE_DIR) + "/tests/data/" + name;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class KoravelctlSetupTest : public CtlTest {
protected:
    void StartSim(std::uint8_t minor, sim::Faults faults = {}) {
        sim::Options o;
        o.port = 2;
        o.unit.fwMinor = minor;
        o.faults = faults;
        CtlTest::StartSim(o);
    }
};

TEST_F(KoravelctlSetupTest, SendWritesEveryBlockAndReportsEachOne) {
    StartSim(13);
    auto r = Ctl({"--port", "2", "send", DataFile("kv100-fw113.koravel")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("unit firmware 1.13"), std::string::npos);
    EXPECT_NE(r.out.find("68/68 block 69 [FactoryTune33] written"), std::string::npos) << r.out;
    auto eeprom = simulator->Eeprom();
    EXPECT_EQ(eeprom.size(), 68u);
    EXPECT_EQ(eeprom.at(0).size(), 108u); // the new Factory layout
    EXPECT_EQ(eeprom.at(1).size(), 42u);
    EXPECT_EQ(eeprom.count(2), 0u);
    EXPECT_EQ(eeprom.count(36), 0u);
}

TEST_F(KoravelctlSetupTest, SendStopsAtARefusedBlockAndSaysSo) {
    sim::Faults faults;
    faults.failBlocks = {5};
    StartSim(13, faults);
    auto r = Ctl({"--port", "2", "send", DataFile("kv100-fw113.koravel")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("block 5 [Useroffs3]"), std::string::npos) << r.err;
    auto eeprom = simulator->Eeprom();
    EXPECT_EQ(eeprom.size(), 4u); // 0, 1, 3 and 4
    EXPECT_EQ(eeprom.count(5), 0u);

    // A file that cannot be read sends nothing at all.
    simulator->ClearRequests();
    r = Ctl({"--port", "2", "send", dir.path() + "/missing.koravel"});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_NE(r.err.find("missing.koravel"), std::string::npos);
    EXPECT_TRUE(simulator->Requests().empty());
}

TEST_F(KoravelctlSetupTest, SendTakesTheFirmwareFromTheUnitsReplyOrWritesNothing) {
    StartSim(13);
    const std::string file = DataFile("kv100-fw113.koravel");
    // Status replies 300 ms late: the second attempt's wait still takes the
    // first one's reply.
    simulator->SetResponder([](const koravel::Bytes& request) -> std::optional<koravel::Bytes> {
        if (request[1] == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return std::nullopt;
    });
    auto r = Ctl({"--port", "2", "send", file});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "unit firmware 1.13")) << r.out;
    EXPECT_EQ(simulator->Eeprom().at(0).size(), 108u);
    EXPECT_EQ(simulator->Eeprom().at(1).size(), 42u);

    // No status reply at all: not one block goes out.
    simulator->SetResponder([](const koravel::Bytes& request) -> std::optional<koravel::Bytes> {
        if (request[1] == 1)
            return koravel::Bytes{};
        return std::nullopt;
    });
    simulator->ClearRequests();
    r = Ctl({"--port", "2", "send", file});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_TRUE(Has(r.err, "The unit did not report its firmware version; nothing was sent."))
        << r.err;
    EXPECT_EQ(simulator->RequestCount(4), 0u);
    EXPECT_EQ(simulator->RequestCount(1), 3u);
}

TEST_F(KoravelctlSetupTest, SendRefusesAFileForTheOtherFamilyUnlessForced) {
    StartSim(13);
    const std::string file = DataFile("kv100-fw112.koravel");
    auto r = Ctl({"--port", "2", "send", file});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_TRUE(Has(r.out, "max_estensio1 in [Factory]")) << r.out;
    EXPECT_TRUE(Has(r.out, "min_estensio")) << r.out;
    EXPECT_TRUE(Has(r.err, "--force")) << r.err;
    EXPECT_EQ(simulator->RequestCount(4), 0u);

    r = Ctl({"--port", "2", "send", "--force", file});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(simulator->Eeprom().size(), 68u);
    EXPECT_EQ(simulator->Eeprom().at(0).size(), 108u);

    EXPECT_EQ(Ctl({"--port", "2", "--force", "status"}).exitCode, 2);
    EXPECT_EQ(Ctl({"--port", "2", "send", "--firmware", "1.12", file}).exitCode, 2);
}

// The file of a careless edit: a short [Factory] section above a complete
// one (the profile reads the first: its missing fields would go out as 0,
// every motor limit with them), and a file with one key left out.
TEST_F(KoravelctlSetupTest, ARepeatedSectionOrMissingKeysAreReportedAndSentOnlyWhenForced) {
    StartSim(13);
    const std::string full = ReadAll(DataFile("kv100-fw113.koravel"));
    const std::string dup = dir.path() + "/dup.koravel";
    std::ofstream(dup, std::ios::binary) << "[Factory]\nmot_maxvel=1250\n\n" << full;
    auto r = Ctl({"check", "--firmware", "1.13", dup});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.out, "line 4: [Factory] given again: only the section at line 1 is read\n"))
        << r.out;
    EXPECT_TRUE(
        Has(r.out, "line 1: [Factory] mot_minvel: not in the section; 0 goes out instead\n"));
    EXPECT_TRUE(Has(r.out, "line 1: [Factory] welcome: not in the section; 24 bytes of 0x00 go "
                           "out instead\n"));

    r = Ctl({"--port", "2", "send", dup});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_TRUE(Has(r.out, "Sent as 0 (not in the file; texts as 0x00 bytes): mot_minvel, "
                           "mot_accel,"))
        << r.out;
    EXPECT_TRUE(
        Has(r.out, "[Factory] is given again at line 4: only the section at line 1 is read."));
    EXPECT_TRUE(Has(r.err, "--force")) << r.err;
    EXPECT_EQ(simulator->RequestCount(4), 0u);
    EXPECT_TRUE(simulator->Eeprom().empty());

    std::string oneLeftOut = full;
    oneLeftOut.erase(oneLeftOut.find("max_estensio=5620\r\n"), 19);
    const std::string missing = dir.path() + "/missing-key.koravel";
    std::ofstream(missing, std::ios::binary) << oneLeftOut;
    r = Ctl({"check", "--firmware", "1.13", missing});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.out, "line 1: [Factory] max_estensio: not in the section; 0 goes out "
                           "instead\n"))
        << r.out;
    r = Ctl({"--port", "2", "send", missing});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_TRUE(Has(r.out, "Sent as 0 (not in the file; texts as 0x00 bytes): max_estensio in "
                           "[Factory]."))
        << r.out;
    EXPECT_EQ(simulator->RequestCount(4), 0u);

    // Forced, it goes as the profile reads it: the first [Factory] section.
    r = Ctl({"--port", "2", "send", "--force", dup});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const auto eeprom = simulator->Eeprom();
    ASSERT_EQ(eeprom.size(), 68u);
    koravel::Bytes factory(108, 0x00);
    factory[1] = 0xE2; // mot_maxvel 1250, every other field 0
    factory[2] = 0x04;
    EXPECT_EQ(eeprom.at(0), factory);

    // A value that does not convert, in the very last section: not one
    // block is written.
    std::string bad = full;
    const std::size_t tune3 = bad.find("Tune3=", bad.find("[FactoryTune33]"));
    bad.insert(bad.begin() + static_cast<std::ptrdiff_t>(bad.find("\r\n", tune3)), 'x');
    const std::string badPath = dir.path() + "/bad-last.koravel";
    std::ofstream(badPath, std::ios::binary) << bad;
    simulator->ClearRequests();
    r = Ctl({"--port", "2", "send", badPath});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_TRUE(Has(r.err, "block 69 [FactoryTune33]: '")) << r.err;
    EXPECT_TRUE(Has(r.err, "nothing was written")) << r.err;
    EXPECT_EQ(simulator->RequestCount(4), 0u);
    EXPECT_EQ(simulator->Eeprom(), eeprom);
}

TEST_F(KoravelctlSetupTest, CheckReportsCutAndWrappedValuesWithTheirLines) {
    auto r = Ctl({"check", "--firmware", "1.13", DataFile("kv100-check-faults.koravel")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("line 22: [Factory] welcome"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("line 4: [Factory] mot_accel: 300"), std::string::npos) << r.out;
    // The blocks' bytes only with --verbose; the findings either way.
    EXPECT_EQ(r.out.find(" bytes: "), std::string::npos) << r.out;
    const auto verbose =
        Ctl({"check", "--verbose", "--firmware", "1.13", DataFile("kv100-check-faults.koravel")});
    EXPECT_EQ(verbose.exitCode, 1);
    EXPECT_NE(verbose.out.find("block 0 [Factory] 110 bytes: 00 00 00"), std::string::npos);
    EXPECT_NE(verbose.out.find("line 4: [Factory] mot_accel: 300"), std::string::npos);

    // A good file: a few lines of summary, not a line per block.
    r = Ctl({"check", "--firmware", "1.13", DataFile("kv100-fw113.koravel")});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "firmware 1.13: new layouts\n"
                     "68 sections in the file; 68 blocks: 68 built, 0 skipped (no values), 0 not "
                     "built\n"
                     "nothing to report\n");

    // The same new-layout file checked for an old unit: its new keys go unread.
    r = Ctl({"check", "--firmware", "1.12", DataFile("kv100-fw113.koravel")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("min_estensio"), std::string::npos);

    std::ofstream(dir.path() + "/bad.koravel") << "[Useroffs1]\r\noffset1=12a\r\n";
    r = Ctl({"check", "--firmware", "1.13", dir.path() + "/bad.koravel"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("'12a' is not a valid integer value"), std::string::npos) << r.out;

    // A FIFO would wait for a writer for ever: it is refused at once.
    const std::string fifo = dir.path() + "/fifo.koravel";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    r = Ctl({"check", "--firmware", "1.13", fifo});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, "fifo.koravel\" cannot be read: is a FIFO.")) << r.err;
}

TEST_F(KoravelctlSetupTest, CheckReadsPastAByteOrderMarkAndReportsTextAboveTheSections) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string text = ReadAll(DataFile("kv100-fw113.koravel"));
    std::ofstream(dir.path() + "/bom.koravel", std::ios::binary) << bom << text;
    auto r = Ctl({"check", "--firmware", "1.13", dir.path() + "/bom.koravel"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "68 blocks: 68 built")) << r.out;

    std::ofstream(dir.path() + "/loose.koravel", std::ios::binary)
        << bom << "\r\nKoravel set-up, antenna 2\r\n"
        << text;
    r = Ctl({"check", "--firmware", "1.13", dir.path() + "/loose.koravel"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.out, "line 2: text above the first section is not read: \"Koravel set-up, "
                           "antenna 2\""))
        << r.out;
}

TEST_F(KoravelctlSetupTest, CheckAsksTheUnitForItsFirmware) {
    StartSim(12);
    auto r = Ctl({"--port", "2", "check", DataFile("kv100-fw112.koravel")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("firmware 1.12: old layouts"), std::string::npos);
    EXPECT_EQ(simulator->RequestCount(4), 0u); // nothing written
}

} // namespace
