// koravelctl follow as a user runs it: the program as a child process, Hamlib's
// rigctld (the dummy rig) on loopback changed by a real rigctl, or a logger's
// and WSJT-X's datagrams sent on loopback, and the simulated unit on a
// pseudo-terminal.
#include "datagram/udp_listener.h"
#include "datagram/wsjtx_message.h"
#include "protocol/bytes.h"
#include "sim/simulator.h"
#include "support/process.h"
#include "support/pty_port.h"
#include "support/rig_process.h"
#include "support/station_datagrams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using koravel::Bytes;
using testing_support::BinPath;
using testing_support::ChildProcess;
using testing_support::Rigctl;
using testing_support::RigctldProcess;

namespace {

using testing_support::DatagramSender;
using testing_support::RadioInfo;

bool WaitUntil(const std::function<bool()>& cond, int ms = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline)
            return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Another program on the same computer listening on the same port: it counts
// what it receives.
struct OtherListener {
    datagram::UdpListener socket;
    std::size_t Count() {
        std::size_t n = 0;
        std::string data;
        std::string error;
        bool truncated = false;
        while (socket.Receive(data, truncated, error) == 1)
            ++n;
        return n;
    }
};

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Every line of text is one JSON object, checked by Python's own parser in a
// child process; the count of lines parsed, -1 when one does not parse.
int JsonLines(const std::string& text) {
    const auto r = testing_support::RunProgram(
        "/bin/sh", {"-c",
                    "printf '%s' \"$0\" | python3 -c 'import json, sys\n"
                    "n = 0\n"
                    "for line in sys.stdin:\n"
                    "    o = json.loads(line)\n"
                    "    assert isinstance(o, dict) and o[\"time\"].endswith(\"Z\")\n"
                    "    n += 1\n"
                    "print(n)'",
                    text});
    return r.exitCode == 0 ? std::atoi(r.out.c_str()) : -1;
}

class FollowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_support::HaveRigctld())
            GTEST_SKIP() << "rigctld and rigctl (package libhamlib-utils) are not installed";
        const auto help = testing_support::RunProgram(BinPath("koravelctl"), {"--help"});
        if (help.out.find("follow") == std::string::npos)
            GTEST_SKIP() << "koravelctl was built without the CAT back end";
        // Hamlib keeps a few blocks of its own to the end; the sanitizer
        // build of koravelctl is told so, as the test programs are.
        if (std::getenv("LSAN_OPTIONS") == nullptr)
            setenv("LSAN_OPTIONS", "suppressions=" KORAVEL_SOURCE_DIR "/tests/lsan.supp", 1);

        sim::Options o;
        o.port = 1;
        o.configDir = dir.path();
        o.pace = false;
        unit = std::make_unique<sim::Simulator>(o);
        std::string error;
        ASSERT_TRUE(unit->Start(error)) << error;
    }

    void WriteOmniRigIni(const std::string& text) const {
        std::ofstream(dir.path() + "/omnirig.ini") << text;
    }

    // Arguments of every command 3 the unit received, in order.
    std::vector<Bytes> Tunes() const {
        std::vector<Bytes> tunes;
        for (const Bytes& request : unit->Requests()) {
            if (request.size() >= 3 && request[1] == 0x03)
                tunes.emplace_back(request.begin() + 2, request.end() - 1);
        }
        return tunes;
    }

    bool WaitForTune(const Bytes& argument, std::size_t seen = 0) {
        return WaitUntil([&] {
            const std::vector<Bytes> tunes = Tunes();
            for (std::size_t i = seen; i < tunes.size(); ++i) {
                if (tunes[i] == argument)
                    return true;
            }
            return false;
        });
    }

    bool WaitForOutput(ChildProcess& follow, const std::string& text, int ms = 20000) {
        return WaitUntil([&] { return follow.Out().find(text) != std::string::npos; }, ms);
    }

    void SetMoving(bool moving) {
        // Set by hand, the motion goes on until it is changed again.
        unit->Modify([moving](sim::UnitState& s) {
            s.moving = moving;
            s.targetKhz = s.frequencyKhz;
            s.arrival = {};
        });
    }

    testing_support::TempConfigDir dir;
    std::unique_ptr<sim::Simulator> unit;
};

TEST_F(FollowTest, SendsEveryFrequencyUntilInterrupted) {
    RigctldProcess rig(testing_support::FreeLoopbackPort());
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "14195999"}));
    WriteOmniRigIni("[Rig1]\nModel=2\nPort=" + rig.Address() + "\n[Rig2]\nModel=0\n");

    ChildProcess follow;
    ASSERT_TRUE(follow.Start(BinPath("koravelctl"), {"--port", "1", "follow"}));
    ASSERT_TRUE(WaitForTune({0x73, 0x37})) << follow.Out() << follow.Err();
    EXPECT_TRUE(WaitForOutput(follow, "rig 1: On-line\n"));
    EXPECT_TRUE(WaitForOutput(follow, "rig 1: 14195999 Hz -> 14195 kHz: done\n"));

    std::size_t seen = Tunes().size();
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "7050000"}));
    EXPECT_TRUE(WaitForTune({0x8A, 0x1B}, seen));
    EXPECT_TRUE(WaitForOutput(follow, "rig 1: 7050000 Hz -> 7050 kHz: done\n"));
    // 4 m and 2 m are beyond the unit's 16 bits: told once, nothing sent (cut
    // to 16 bits they would tune to 4.464 and 13.228 MHz); sending resumes
    // when the rig comes back.
    seen = Tunes().size();
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "70000000"}));
    EXPECT_TRUE(WaitForOutput(follow, "rig 1: 70000000 Hz: out of the antenna's range (up to "
                                      "65535 kHz), not sent\n"));
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "144300000"}));
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "14200000"}));
    EXPECT_TRUE(WaitForTune({0x78, 0x37}, seen));
    EXPECT_TRUE(WaitForOutput(follow, "rig 1: 14200000 Hz -> 14200 kHz: done\n"));
    EXPECT_EQ(Tunes().size(), seen + 1) << "a frequency beyond the unit's range was sent";
    EXPECT_EQ(follow.Out().find("144300000"), std::string::npos) << "told more than once";
    // A transverter's 13 cm, beyond 32 bits of hertz, is told as well.
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "2400000000"}));
    EXPECT_TRUE(WaitForOutput(follow, "rig 1: 2400000000 Hz: out of the antenna's range (up to "
                                      "65535 kHz), not sent\n"))
        << follow.Out();
    EXPECT_EQ(Tunes().size(), seen + 1);

    // The server goes away and comes back: reported, and followed again.
    rig.Stop();
    EXPECT_TRUE(WaitForOutput(follow, "rig 1: Rig is not responding"));
    seen = Tunes().size();
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "21200000"}));
    EXPECT_TRUE(WaitForTune({0xD0, 0x52}, seen)) << follow.Out();

    // The unit stops answering: the line says so, the program goes on.
    sim::Faults silent;
    silent.drop = 1.0;
    unit->SetFaults(silent);
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "7050000"}));
    EXPECT_TRUE(WaitForOutput(follow, "rig 1: 7050000 Hz -> 7050 kHz: no reply\n")) << follow.Out();

    // The rig moves on while a send still waits: the older send stops and
    // says so, and nothing of it reaches the unit after the newer one.
    seen = Tunes().size();
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "21200000"}));
    ASSERT_TRUE(WaitForTune({0xD0, 0x52}, seen));
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "14200000"}));
    EXPECT_TRUE(WaitForOutput(follow, "rig 1: 21200000 Hz -> 21200 kHz: superseded by a newer "
                                      "frequency\n"))
        << follow.Out();
    EXPECT_TRUE(WaitForOutput(follow, "rig 1: 14200000 Hz -> 14200 kHz: no reply\n"))
        << follow.Out();
    const std::vector<Bytes> tunes = Tunes();
    ASSERT_GT(tunes.size(), seen);
    const auto newest = std::find(tunes.begin() + static_cast<std::ptrdiff_t>(seen), tunes.end(),
                                  Bytes{0x78, 0x37});
    ASSERT_NE(newest, tunes.end());
    for (auto it = newest; it != tunes.end(); ++it)
        EXPECT_EQ(*it, (Bytes{0x78, 0x37})) << "an older frequency went out after the newer one";

    follow.Signal(SIGINT);
    EXPECT_EQ(follow.Wait(15000), 0) << follow.Err();
    EXPECT_EQ(follow.Err(), "");
}

// The transmit warning: one line each time the rig transmits while the unit
// reports its elements moving, one when that ends. The unit's status is asked
// only while the rig transmits, and keying the rig tunes nothing.
TEST_F(FollowTest, WarnsEachTimeTheRigTransmitsWhileTheElementsMove) {
    const std::string warning = "WARNING: transmitting while the elements move\n";
    RigctldProcess rig(testing_support::FreeLoopbackPort(), /*withPtt=*/true);
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "14200000"}));
    WriteOmniRigIni("[Rig1]\nModel=2\nPort=" + rig.Address() + "\n[Rig2]\nModel=0\n");
    ChildProcess follow;
    ASSERT_TRUE(follow.Start(BinPath("koravelctl"), {"follow"}));
    ASSERT_TRUE(WaitForOutput(follow, "rig 1: 14200000 Hz -> 14200 kHz: done\n")) << follow.Err();
    auto setMoving = [&](bool moving) { SetMoving(moving); };
    setMoving(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(unit->RequestCount(0x01), 0u) << "the status was asked while the rig received";
    const std::size_t tunes = Tunes().size();

    ASSERT_TRUE(Rigctl(rig.Port(), {"T", "1"}));
    ASSERT_TRUE(WaitForOutput(follow, warning)) << follow.Out() << follow.Err();
    // While it holds, nothing more is printed, and the unit is asked at most
    // every 400 ms.
    const std::size_t asked = unit->RequestCount(0x01);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    EXPECT_LE(unit->RequestCount(0x01) - asked,
              static_cast<std::size_t>(elapsed.count() / 400 + 1));
    EXPECT_GT(unit->RequestCount(0x01), asked) << "the status is no longer asked";
    EXPECT_EQ(Occurrences(follow.Out(), warning), 1u) << follow.Out();

    setMoving(false);
    EXPECT_TRUE(WaitForOutput(follow, "transmit warning over: the elements stopped\n"))
        << follow.Out();
    setMoving(true);
    EXPECT_TRUE(WaitUntil([&] { return Occurrences(follow.Out(), warning) == 2; })) << follow.Out();
    ASSERT_TRUE(Rigctl(rig.Port(), {"T", "0"}));
    EXPECT_TRUE(WaitForOutput(follow, "transmit warning over: the rig is not transmitting\n"))
        << follow.Out();
    // Receiving again: the unit is left alone.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::size_t last = unit->RequestCount(0x01);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(unit->RequestCount(0x01), last);
    EXPECT_EQ(Occurrences(follow.Out(), warning), 2u) << follow.Out();
    EXPECT_EQ(Tunes().size(), tunes) << "keying the rig tuned the unit";

    follow.Signal(SIGINT);
    EXPECT_EQ(follow.Wait(15000), 0) << follow.Err();
    EXPECT_EQ(follow.Err(), "");
}

TEST_F(FollowTest, RigTwoAndSigterm) {
    RigctldProcess rig(testing_support::FreeLoopbackPort());
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "7050000"}));
    // Rig 1 points at a port where nothing listens: it is not the one followed.
    WriteOmniRigIni(
        "[Rig1]\nModel=2\nPort=127.0.0.1:" + std::to_string(testing_support::FreeLoopbackPort()) +
        "\n[Rig2]\nModel=2\nPort=" + rig.Address() + "\n");
    ChildProcess follow;
    ASSERT_TRUE(follow.Start(BinPath("koravelctl"), {"follow", "--rig", "2"}));
    EXPECT_TRUE(WaitForOutput(follow, "rig 2: 7050000 Hz -> 7050 kHz: done\n")) << follow.Err();
    EXPECT_EQ(follow.Out().find("rig 1"), std::string::npos);
    follow.Signal(SIGTERM);
    EXPECT_EQ(follow.Wait(15000), 0) << follow.Err();
}

// A logger's RadioInfo broadcasts on loopback, with another program on the
// same port receiving every one of them too: the frequency goes to the unit
// as soon as it changes, a frequency of 0 and malformed datagrams send
// nothing, IsTransmitting feeds the transmit warning, and silence makes the
// rig "not heard". The output is JSON lines.
TEST_F(FollowTest, FollowsRadioInfoBroadcastsBesideAnotherListener) {
    const std::uint16_t port = testing_support::FreeLoopbackPort();
    OtherListener other;
    std::string error;
    ASSERT_TRUE(other.socket.Open(port, "", error)) << error;
    WriteOmniRigIni("[Rig1]\nSource=radioinfo\nUdpPort=" + std::to_string(port) +
                    "\nNotHeardS=2\n[Rig2]\nModel=0\n");
    ChildProcess follow;
    ASSERT_TRUE(follow.Start(BinPath("koravelctl"), {"--json", "follow"}));
    ASSERT_TRUE(WaitForOutput(follow, "\"event\":\"following\"")) << follow.Err();
    const DatagramSender sender;
    const std::string broadcast = "127.255.255.255";
    // Radio 2 is not the one followed; then 14.074 MHz from radio 1.
    ASSERT_TRUE(sender.Send(broadcast, port, RadioInfo(2, "706000", false)));
    ASSERT_TRUE(sender.Send(broadcast, port, RadioInfo(1, "1407400", false)));
    ASSERT_TRUE(WaitForTune({0xFA, 0x36})) << follow.Out() << follow.Err();
    EXPECT_TRUE(WaitForOutput(follow, "\"frequency_hz\":14074000,\"frequency_khz\":14074,"
                                      "\"result\":\"done\"}"));
    EXPECT_TRUE(WaitUntil([&] { return other.Count() == 2; })) << "the other program missed some";

    // Nothing for a frequency of 0, nor for what is malformed.
    std::size_t seen = Tunes().size();
    ASSERT_TRUE(sender.Send(broadcast, port, RadioInfo(1, "0", false)));
    ASSERT_TRUE(sender.Send(broadcast, port, "<RadioInfo><RadioNr>1</RadioNr><Freq>2120000"));
    ASSERT_TRUE(sender.Send(broadcast, port, RadioInfo(1, "2120000", false) + "<RadioInfo>"));
    ASSERT_TRUE(sender.Send(broadcast, port, RadioInfo(1, "1810000", false)));
    ASSERT_TRUE(WaitForTune({0xB4, 0x46}, seen)) << follow.Out();
    const std::vector<Bytes> tunes = Tunes();
    for (std::size_t i = seen; i < tunes.size(); ++i)
        EXPECT_EQ(tunes[i], (Bytes{0xB4, 0x46})) << "a malformed datagram or 0 Hz was sent";

    // The logger keys the radio while the elements move: warned; keying
    // tunes nothing.
    SetMoving(true);
    seen = Tunes().size();
    ASSERT_TRUE(sender.Send(broadcast, port, RadioInfo(1, "1810000", true)));
    EXPECT_TRUE(WaitForOutput(follow, "\"event\":\"transmit_warning\",\"warning\":true"))
        << follow.Out();
    ASSERT_TRUE(sender.Send(broadcast, port, RadioInfo(1, "1810000", false)));
    EXPECT_TRUE(WaitForOutput(follow, "\"warning\":false,\"text\":\"transmit warning over: the "
                                      "rig is not transmitting\"}"))
        << follow.Out();
    EXPECT_EQ(Tunes().size(), seen);

    // The logger goes quiet: not heard, and back with its next datagram.
    EXPECT_TRUE(WaitForOutput(follow, "\"status\":3,\"text\":\"Rig is not responding (not heard "
                                      "for 2 s)\"}"))
        << follow.Out();
    ASSERT_TRUE(sender.Send(broadcast, port, RadioInfo(1, "1407400", false)));
    EXPECT_TRUE(WaitForTune({0xFA, 0x36}, seen));

    follow.Signal(SIGINT);
    EXPECT_EQ(follow.Wait(15000), 0) << follow.Err();
    EXPECT_EQ(follow.Err(), "");
    const std::string out = follow.Out();
    EXPECT_EQ(JsonLines(out), static_cast<int>(Occurrences(out, "\n"))) << out;
}

// WSJT-X on a multicast group, chosen for one run with --source: its port
// from the command line, its group and instance from omnirig.ini. Another
// program in the group gets every datagram too.
TEST_F(FollowTest, FollowsWsjtxStatusInAMulticastGroupChosenForOneRun) {
    const std::uint16_t port = testing_support::FreeLoopbackPort();
    const std::string group = "239.255.42.7";
    OtherListener other;
    std::string error;
    ASSERT_TRUE(other.socket.Open(port, group, error)) << error;
    WriteOmniRigIni("[Rig1]\nModel=0\n[Rig2]\nSource=wsjtx\nMulticast=" + group +
                    "\nInstance=WSJT-X - FT8\nUdpPort=1\n");
    ChildProcess follow;
    ASSERT_TRUE(follow.Start(BinPath("koravelctl"), {"follow", "--rig", "2", "--source",
                                                     "wsjtx:" + std::to_string(port)}));
    ASSERT_TRUE(WaitForOutput(follow, "following rig 2 (wsjtx on UDP port " + std::to_string(port) +
                                          ", group " + group + ", instance WSJT-X - FT8,"))
        << follow.Out() << follow.Err();
    const DatagramSender sender;
    // Before its rig answers WSJT-X reports 0: nothing is sent. Another
    // instance is not the one followed.
    ASSERT_TRUE(sender.Send(group, port, datagram::EncodeWsjtxStatus("WSJT-X - FT8", 0, false)));
    ASSERT_TRUE(sender.Send(group, port, datagram::EncodeWsjtxStatus("WSJT-X", 10136000, false)));
    ASSERT_TRUE(
        sender.Send(group, port, datagram::EncodeWsjtxStatus("WSJT-X - FT8", 7074000, false)));
    ASSERT_TRUE(WaitForTune({0xA2, 0x1B})) << follow.Out() << follow.Err();
    EXPECT_TRUE(WaitForOutput(follow, "rig 2: 7074000 Hz -> 7074 kHz: done\n"));
    EXPECT_EQ(Tunes().size(), 1u) << "another instance or a frequency of 0 was followed";
    EXPECT_TRUE(WaitUntil([&] { return other.Count() == 3; })) << "the other program missed some";

    // WSJT-X closes: the rig is not responding at once.
    ASSERT_TRUE(sender.Send(group, port, datagram::EncodeWsjtxHeader(6, "WSJT-X - FT8")));
    EXPECT_TRUE(WaitForOutput(follow, "rig 2: Rig is not responding (WSJT-X instance \"WSJT-X - "
                                      "FT8\" closed)\n"))
        << follow.Out();
    follow.Signal(SIGTERM);
    EXPECT_EQ(follow.Wait(15000), 0) << follow.Err();
}

TEST_F(FollowTest, RefusesWhatItCannotFollow) {
    auto run = [](std::vector<std::string> args) {
        return testing_support::RunProgram(BinPath("koravelctl"), std::move(args));
    };
    auto r = run({"follow", "--rig", "3"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--rig takes 1 or 2"), std::string::npos) << r.err;
    r = run({"status", "--rig", "1"});
    EXPECT_EQ(r.exitCode, 2);
    r = run({"follow", "extra"});
    EXPECT_EQ(r.exitCode, 2);
    for (const char* source : {"radio", "wsjtx:0", "radioinfo:65536", "hamlib:4532", "wsjtx:"}) {
        r = run({"--port", "9", "follow", "--source", source});
        EXPECT_EQ(r.exitCode, 2) << source;
        EXPECT_NE(r.err.find("is not a source"), std::string::npos) << source << ": " << r.err;
    }

    // A model Hamlib does not know: the back end does not connect.
    WriteOmniRigIni("[Rig1]\nModel=999999\n");
    r = run({"follow"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("999999"), std::string::npos) << r.err;

    // The followed rig is not configured.
    WriteOmniRigIni("[Rig1]\nModel=2\n[Rig2]\nModel=0\n");
    r = run({"follow", "--rig", "2"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("rig 2: Rig is not configured"), std::string::npos) << r.err;
    EXPECT_TRUE(Tunes().empty());
}

} // namespace
