// koravelctl on a network port: the real ser2net serving the simulated
// unit's pseudo-terminal on loopback, reached as COM6 = tcp://127.0.0.1:PORT;
// and a serial server that floods its clients.
#include "ctl/ctl_fixture.h"
#include "support/network_serial.h"
#include "support/setup_image.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::Ser2netProcess;

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class KoravelctlNetworkTest : public CtlTest {
protected:
    void SetUp() override {
        if (testing_support::Ser2netPath().empty())
            GTEST_SKIP() << "ser2net (package ser2net) is not installed";
        sim::Options o;
        o.port = 1;
        StartSim(o);
        server = std::make_unique<Ser2netProcess>(simulator->SlavePath(),
                                                  testing_support::FreeLoopbackPort(),
                                                  dir.path() + "/ser2net.yaml");
        ASSERT_TRUE(server->Start()) << server->Errors();
        const auto r = Ctl({"ports", "set", "6", server->Url()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "COM6 -> " + server->Url() + "\n");
    }

    // Waits until the process has printed part.
    static bool WaitForOutput(ChildProcess& process, const std::string& part, int seconds = 15) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!Has(process.Out(), part)) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    std::unique_ptr<Ser2netProcess> server;
};

TEST_F(KoravelctlNetworkTest, StatusAndAWholeSetUpFileGoThroughSer2net) {
    // Kept as a link whose text is the address.
    EXPECT_EQ(fs::read_symlink(dir.path() + "/ports/com6"), server->Url());
    auto r = Ctl({"ports"});
    EXPECT_TRUE(Has(r.out, "  COM6  -> " + server->Url() + "  network port (ser2net, raw TCP)\n"))
        << r.out;

    r = Ctl({"--port", "6", "status"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "firmware 1.13  frequency 0 kHz")) << r.out;

    const std::string file = testing_support::SetupDataFile("kv100-fw113.koravel");
    r = Ctl({"--port", "6", "send", file});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "68/68 block 69 [FactoryTune33] written")) << r.out;
    EXPECT_EQ(simulator->Eeprom(), testing_support::ExpectedImage(file, 269));

    // Addresses that are not well formed are refused, and COM6 stays.
    for (const char* bad : {"tcp://127.0.0.1:0", "tcp://127.0.0.1:65536", "tcp://:3001",
                            "tcp://shack-pi", "tcp://shack pi:3001", "tcp://[::1:3001"}) {
        r = Ctl({"ports", "set", "6", bad});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_TRUE(Has(r.err, "koravelctl: COM6 not set: ")) << r.err;
    }
    EXPECT_EQ(fs::read_symlink(dir.path() + "/ports/com6"), server->Url());
    r = Ctl({"ports", "set", "7", "tcp://[::1]:3001"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(KoravelctlNetworkTest, ASecondClientIsTurnedAwayAndWatchRidesOutARestart) {
    ChildProcess watch;
    ASSERT_TRUE(watch.Start(testing_support::BinPath("koravelctl"), {"--port", "6", "watch"}));
    ASSERT_TRUE(WaitForOutput(watch, "firmware 1.13")) << watch.Out() << watch.Err();

    // ser2net serves one client: it tells a second one so and hangs up.
    auto r = Ctl({"--port", "6", "status"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, "koravelctl: COM6 (" + server->Url() +
                               ") does not open: the serial server at 127.0.0.1:" +
                               std::to_string(server->Port()) +
                               " says its port is in use by another program (\"Port already in "
                               "use\")."))
        << r.err;

    // ser2net restarted: watch is told, and carries on by itself.
    server->Stop();
    EXPECT_TRUE(WaitForOutput(watch, "): connection lost: ")) << watch.Out();
    simulator->Modify([](sim::UnitState& s) { s.frequencyKhz = 14200; });
    ASSERT_TRUE(server->Start()) << server->Errors();
    EXPECT_TRUE(WaitForOutput(watch, "frequency 14200 kHz", 10)) << watch.Out();
    EXPECT_TRUE(Has(watch.Out(), "COM6 (" + server->Url() + "): connected again\n")) << watch.Out();
    watch.Signal(SIGINT);
    EXPECT_EQ(watch.Wait(15000), 0) << watch.Err();

    // Nothing serves the address.
    const std::uint16_t free = testing_support::FreeLoopbackPort();
    ASSERT_EQ(Ctl({"ports", "set", "7", "tcp://127.0.0.1:" + std::to_string(free)}).exitCode, 0);
    r = Ctl({"--port", "7", "status"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(
        Has(r.err, "cannot connect to 127.0.0.1:" + std::to_string(free) + ": connection refused"))
        << r.err;
}

// A server that never stops sending holds no exchange past its time-out:
// status asks twice (200 ms each) and gives up with "no reply" within
// about half a second; a wait that read until the line fell silent never
// ended.
TEST_F(CtlTest, StatusFromAFloodingServerEndsInItsTimeOut) {
    testing_support::FloodingPeer peer;
    ASSERT_TRUE(peer.Start());
    ASSERT_EQ(Ctl({"ports", "set", "6", peer.Url()}).exitCode, 0);
    ChildProcess status;
    ASSERT_TRUE(status.Start(testing_support::BinPath("koravelctl"), {"--port", "6", "status"}));
    const std::optional<int> exitCode = status.Wait(10000);
    ASSERT_TRUE(exitCode.has_value()) << "still waiting after 10 s";
    EXPECT_EQ(*exitCode, 4) << status.Err();
    EXPECT_TRUE(Has(status.Err(), "koravelctl: status: no reply from the unit")) << status.Err();
    EXPECT_EQ(peer.Requests().size(), 2u);
    EXPECT_GT(peer.Flooded(), 65536u);
}

} // namespace
