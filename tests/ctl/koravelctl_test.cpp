// koravelctl as a user runs it, against the simulated unit on a real
// pseudo-terminal.
#include "ctl/ctl_fixture.h"
#include "protocol/frame.h"
#include "support/rig_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

using koravel::Bytes;

namespace {

class KoravelctlTest : public CtlTest {
protected:
    void StartSim(sim::Faults faults = {}, int port = 1) {
        sim::Options o;
        o.port = port;
        o.faults = faults;
        o.unit.motionBaseMs = 50;
        o.unit.motionMsPerKhz = 0.01;
        CtlTest::StartSim(o);
    }
};

TEST_F(KoravelctlTest, TuneThenStatusShowsTheNewFrequency) {
    StartSim();
    auto r = Ctl({"--port", "1", "tune", "14200"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto requests = simulator->Requests();
    ASSERT_EQ(requests.size(), 1u);
    // Bit 7 of the sequence byte asks for a reply; 14200 kHz low byte first.
    EXPECT_NE(requests[0][0] & 0x80, 0);
    EXPECT_EQ(Bytes(requests[0].begin() + 1, requests[0].end() - 1), (Bytes{0x03, 0x78, 0x37}));

    std::string out;
    for (int i = 0; i < 100; ++i) {
        r = Ctl({"--port", "1", "status"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        out = r.out;
        if (out.find("frequency 14200 kHz (14.200 MHz)") != std::string::npos &&
            out.find("moving no") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(out.find("firmware 1.13  frequency 14200 kHz (14.200 MHz)  direction normal"),
              std::string::npos)
        << out;
    // For scripts: one JSON object, read here by jq as a script would.
    r = testing_support::RunProgram(
        "/bin/sh", {"-c",
                    "\"$0\" --port 1 --json status | jq -c '[.frequency_khz, .link, "
                    ".firmware, .direction, .moving, .retracted]'",
                    testing_support::BinPath("koravelctl")});
    EXPECT_EQ(r.out, "[14200,\"up\",\"1.13\",\"normal\",false,false]\n") << r.err;

    ASSERT_EQ(Ctl({"--port", "1", "tune", "7050", "bidir"}).exitCode, 0);
    EXPECT_EQ(simulator->Requests().back()[4], 2); // the direction byte
    ASSERT_EQ(Ctl({"--port", "1", "band", "6"}).exitCode, 0);
    EXPECT_EQ(simulator->Requests().back()[2], 0xB4);
    EXPECT_EQ(simulator->Requests().back()[3], 0xC3);
    ASSERT_EQ(Ctl({"--port", "1", "retract"}).exitCode, 0);
    EXPECT_EQ(simulator->Requests().back().size(), 3u); // sequence, command 2, checksum
    EXPECT_EQ(simulator->Requests().back()[1], 2);
}

// KORAVEL_TRACE holds every frame both ways, as the window writes it; an
// output that cannot be written is a failure, said on stderr.
TEST_F(KoravelctlTest, TracesItsFramesAndFailsWhenItsOutputIsLost) {
    StartSim();
    const std::string trace = dir.path() + "/ctl.trace";
    std::string ctl = "'";
    ctl += testing_support::BinPath("koravelctl");
    ctl += "' --port 1 status";
    auto r = testing_support::RunProgram("/bin/sh", {"-c", "KORAVEL_TRACE='" + trace + "' " + ctl});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::ifstream in(trace);
    std::string tx;
    std::string rx;
    std::getline(in, tx);
    std::getline(in, rx);
    EXPECT_EQ(tx.rfind("tx ", 0), 0u) << tx;
    EXPECT_EQ(tx.substr(5, 2), "01") << tx;                           // the status request
    EXPECT_EQ(rx.rfind("rx " + tx.substr(3, 2) + "00", 0), 0u) << rx; // its answer

    r = testing_support::RunProgram("/bin/sh", {"-c", ctl + " > /dev/full"});
    EXPECT_EQ(r.exitCode, 6);
    EXPECT_NE(r.err.find("koravelctl: cannot write the output: No space left on device"),
              std::string::npos)
        << r.err;
}

TEST_F(KoravelctlTest, NoReplyGivesExitFourAfterFourSends) {
    sim::Faults faults;
    faults.drop = 1.0;
    StartSim(faults);
    auto r = Ctl({"--port", "1", "tune", "14200"});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_NE(r.err.find("no reply"), std::string::npos);
    EXPECT_EQ(simulator->RequestCount(3), 4u);
}

// A frame of the sequence byte alone is no reply: its checksum must not pass
// for the unit's status.
TEST_F(KoravelctlTest, ReplyOfTheSequenceByteAloneIsNoReply) {
    sim::Faults faults;
    faults.sequenceOnly = true;
    StartSim(faults);
    auto r = Ctl({"--port", "1", "tune", "14200"});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.err.find("no reply"), std::string::npos) << r.err;
    EXPECT_EQ(simulator->RequestCount(3), 4u);
}

// watch polls as the window does: answers that come after the next request
// went out still count.
TEST_F(KoravelctlTest, WatchShowsAUnitThatAnswersLate) {
    sim::Faults faults;
    faults.delayMs = 700;
    StartSim(faults);
    simulator->Modify([](sim::UnitState& s) { s.frequencyKhz = 14200; });
    testing_support::ChildProcess watch;
    ASSERT_TRUE(watch.Start(testing_support::BinPath("koravelctl"), {"--port", "1", "watch"}));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (watch.Out().find("frequency 14200 kHz") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_NE(watch.Out().find("firmware 1.13  frequency 14200 kHz (14.200 MHz)"),
              std::string::npos)
        << watch.Out();
    EXPECT_EQ(watch.Out().find("no reply"), std::string::npos) << watch.Out();
    watch.Signal(SIGINT);
    EXPECT_EQ(watch.Wait(15000), 0) << watch.Err();
}

TEST_F(KoravelctlTest, RefusalBadUsageAndClosedPort) {
    StartSim();
    simulator->SetResponder([](const Bytes& request) -> std::optional<Bytes> {
        return frame::Encode(Bytes{request[0], 0x09});
    });
    auto r = Ctl({"--port", "1", "retract"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("status 9"), std::string::npos);

    for (const auto& args :
         std::vector<std::vector<std::string>>{{},
                                               {"--port", "1", "tune"},
                                               {"--port", "1", "tune", "70000"},
                                               {"--port", "1", "tune", "65536"},
                                               {"--port", "1", "tune", "14200", "sideways"},
                                               {"--port", "1", "band", "80"},
                                               {"--port", "x", "status"},
                                               {"--port", "1", "jump"},
                                               {"--port", "1", "--json", "retract"},
                                               {"--port", "1", "--verbose", "status"}}) {
        EXPECT_EQ(Ctl(args).exitCode, 2);
    }
    // Bad arguments are told as such, before a port that cannot open is tried.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--port", "9", "band", "99"}, {"--port", "9", "tune", "14200", "sideways"}}) {
        r = Ctl(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err.find("does not open"), std::string::npos) << r.err;
    }
    EXPECT_NE(r.err.find("'sideways' is not normal, 180 or bidir"), std::string::npos) << r.err;
    // A port with no device: exit 2 with the system's reason.
    r = Ctl({"--port", "9", "status"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("does not open"), std::string::npos);
    EXPECT_EQ(simulator->RequestCount(1), 0u);
}

TEST_F(KoravelctlTest, PortComesFromTheSettingsFileReadAsTheWindowReadsIt) {
    StartSim({}, 3);
    const std::string ini = dir.path() + "/koravel.ini";
    std::ofstream(ini) << "[General]\r\nSerialport=3\r\n";
    auto r = Ctl({"status"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(simulator->RequestCount(1), 1u);

    // "x3" is 3 to the window, and so to koravelctl.
    std::ofstream(ini) << "[General]\nSerialport=x3\n";
    r = Ctl({"status"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(simulator->RequestCount(1), 2u);

    // Text that is no integer: no guess at a port; the file, the value and
    // the way out are named.
    std::ofstream(ini) << "[General]\nSerialport=three\n";
    r = Ctl({"status"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find(ini + ": Serialport: 'three' is not a valid integer value"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--port"), std::string::npos) << r.err;
    EXPECT_EQ(Ctl({"--port", "3", "status"}).exitCode, 0);
    EXPECT_EQ(simulator->RequestCount(1), 3u);
}

} // namespace
