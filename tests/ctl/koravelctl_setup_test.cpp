// koravelctl send and check against the simulated unit.
#include "ctl/ctl_fixture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::string DataFile(const std::string& name) {
    return std::string(KORAVEL_SOURCE_DIR) + "/tests/data/" + name;
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

TEST_F(KoravelctlSetupTest, CheckReportsCutAndWrappedValuesWithTheirLines) {
    auto r = Ctl({"check", "--firmware", "1.13", DataFile("kv100-check-faults.koravel")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("line 22: [Factory] welcome"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("line 4: [Factory] mot_accel: 300"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("block 0 [Factory] 110 bytes: 00 00 00"), std::string::npos);

    r = Ctl({"check", "--firmware", "1.13", DataFile("kv100-fw113.koravel")});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("nothing to report"), std::string::npos);

    // The same new-layout file checked for an old unit: its new keys go unread.
    r = Ctl({"check", "--firmware", "1.12", DataFile("kv100-fw113.koravel")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("min_estensio"), std::string::npos);

    std::ofstream(dir.path() + "/bad.koravel") << "[Useroffs1]\r\noffset1=12a\r\n";
    r = Ctl({"check", "--firmware", "1.13", dir.path() + "/bad.koravel"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("'12a' is not a valid integer value"), std::string::npos) << r.out;
}

TEST_F(KoravelctlSetupTest, CheckAsksTheUnitForItsFirmware) {
    StartSim(12);
    auto r = Ctl({"--port", "2", "check", DataFile("kv100-fw112.koravel")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("firmware 1.12: old layouts"), std::string::npos);
    EXPECT_EQ(simulator->RequestCount(4), 0u); // nothing written
}

} // namespace
