// Two programs, one port: while one program holds a simulated unit's port,
// koravelctl and a second koravel are turned away with the reason in words
// and neither disturbs the link of the first. The port's lock must hold for
// root too, whom TIOCEXCL does not stop.
#include "child_program.h"
#include "window_fixture.h"

#include "ini/profile.h"
#include "station/com_port.h"
#include "support/process.h"
#include "transport/port.h"

#include <QLabel>
#include <QPushButton>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

namespace koravel::test {
namespace {

using testing_support::BinPath;
using testing_support::RunProgram;

const char* const kBusy = "does not open: it is in use by another program.";

std::optional<std::string> SavedPort(const std::string& iniPath) {
    std::string error;
    const auto profile = ini::Profile::Load(iniPath, error);
    if (!profile)
        return std::nullopt;
    return profile->Get("General", "Serialport");
}

class PortsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        for (const char* program : {"koravel", "koravelctl"}) {
            ASSERT_TRUE(std::filesystem::exists(BinPath(program)))
                << BinPath(program) << " is not built";
        }
    }
    // Ticks the window once and waits for the unit's answer to be decoded on
    // the next tick; returns the unit's request count afterwards.
    void TickConnected(sim::Simulator& unit) {
        TickAndWait(unit);
        window_->tmPollTimer(); // decodes the answer, sends the next request
        ASSERT_TRUE(window_->UnitConnected);
        ASSERT_EQ(window_->lStatus->text(), QStringLiteral("Connesso con Koravel v1.13"));
    }
};

TEST_F(PortsTest, SecondProgramsAreTurnedAwayWhileTheWindowKeepsItsLink) {
    sim::Simulator& unit = StartSim(1);
    TfmMain& w = MakeWindow();
    w.FormActivate();
    ASSERT_EQ(w.PortNumber, 1);
    TickConnected(unit);
    TickAndWait(unit);
    // Every request the unit sees comes from one of the window's ticks.
    std::size_t ticks = 3;
    ASSERT_TRUE(WaitFor([&] { return unit.Requests().size() >= ticks; }));
    ASSERT_EQ(unit.Requests().size(), ticks);

    // koravelctl: exit 2 with the reason, nothing on the line.
    const auto ctl = RunProgram(BinPath("koravelctl"), {"--port", "1", "status"});
    EXPECT_EQ(ctl.exitCode, 2) << ctl.out << ctl.err;
    EXPECT_NE(ctl.err.find(kBusy), std::string::npos) << ctl.err;
    EXPECT_NE(ctl.err.find("COM1 ("), std::string::npos) << ctl.err;

    // A second koravel with the same config folder (no settings file: port 1).
    const std::string trace = dir_ + "/second.trace";
    ChildProgram second(BinPath("koravel"), {}, KoravelEnv(dir_, trace));
    ASSERT_TRUE(second.Started());
    // Its poll sends whether or not the port opened: wait for a few rounds.
    ASSERT_TRUE(WaitUntil([&] { return TraceLines(trace, "tx") >= 3; }))
        << "the second program never polled\n"
        << second.Err();

    // The first keeps talking to the unit meanwhile, and the unit sees its
    // requests and nothing else (the second has been polling all along).
    for (int i = 0; i < 3; ++i) {
        TickConnected(unit);
        ticks += 2;
    }
    TickAndWait(unit);
    ++ticks;
    EXPECT_TRUE(WaitFor([&] { return unit.Requests().size() >= ticks; }));
    EXPECT_EQ(unit.Requests().size(), ticks) << "the unit saw frames that the window did not send";

    // Closed by SIGTERM, the second saves what it had: no port.
    second.Signal(SIGTERM);
    ASSERT_TRUE(second.Wait(20000)) << "SIGTERM did not end koravel";
    EXPECT_TRUE(second.Exited()) << "ended by signal " << second.TermSignal();
    EXPECT_EQ(second.ExitCode(), 0) << second.Err();
    EXPECT_EQ(second.Err().find("settings not saved"), std::string::npos) << second.Err();
    EXPECT_EQ(SavedPort(IniPath()), "0") << "the second program did not report the port closed";
    EXPECT_EQ(TraceLines(trace, "rx"), 0) << "the second program received frames";

    TickConnected(unit);
    TickAndWait(unit);
    ticks += 3;
    EXPECT_TRUE(WaitFor([&] { return unit.Requests().size() >= ticks; }));
    EXPECT_EQ(unit.Requests().size(), ticks);
    EXPECT_TRUE(w.btRetract->isEnabled());
    EXPECT_EQ(w.PortNumber, 1);
}

TEST_F(PortsTest, TheWindowIsTurnedAwayFromAPortThatKoravelHolds) {
    sim::Simulator& unit = StartSim(1);
    WriteIni("[General]\nSerialport=1\n[Mine]\nkept=yes\n");
    const std::string trace = dir_ + "/first.trace";
    ChildProgram first(BinPath("koravel"), {}, KoravelEnv(dir_, trace));
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(WaitUntil([&] { return TraceLines(trace, "rx") >= 2; }))
        << "koravel never got a reply\n"
        << first.Err();

    // The serial layer itself, then the window, then koravelctl.
    {
        transport::Port port;
        EXPECT_EQ(OpenComPort(port, 1), EBUSY);
        EXPECT_FALSE(port.IsOpen());
    }
    TfmMain& w = MakeWindow();
    w.FormActivate();
    EXPECT_EQ(w.PortNumber, 0);
    EXPECT_EQ(w.lStatus->text(), QStringLiteral("Stato: non connesso (porta chiusa)."));
    EXPECT_FALSE(w.btRetract->isEnabled());
    w.tmPollTimer(); // sends into a closed port: nothing reaches the unit
    const auto ctl = RunProgram(BinPath("koravelctl"), {"--port", "1", "status"});
    EXPECT_EQ(ctl.exitCode, 2) << ctl.out << ctl.err;
    EXPECT_NE(ctl.err.find(kBusy), std::string::npos) << ctl.err;

    // The first's link goes on: new replies, and every request the unit saw
    // is one that the first sent.
    const int replies = TraceLines(trace, "rx");
    ASSERT_TRUE(WaitUntil([&] { return TraceLines(trace, "rx") >= replies + 3; }))
        << "koravel's link stopped";
    first.Signal(SIGTERM);
    ASSERT_TRUE(first.Wait(20000)) << "SIGTERM did not end koravel";
    EXPECT_EQ(first.ExitCode(), 0) << first.Err();
    EXPECT_LE(unit.Requests().size(), static_cast<std::size_t>(TraceLines(trace, "tx")));
    // Its settings were saved at the close the signal caused, foreign lines kept.
    const std::string saved = FileText(IniPath());
    EXPECT_EQ(saved.rfind("[General]\nSerialport=1\n[Mine]\nkept=yes\n", 0), 0u) << saved;
    const ini::Profile profile = ini::Profile::FromText(saved);
    EXPECT_EQ(profile.Get("OmniRig", "Rig1"), "0") << saved;
    EXPECT_EQ(profile.Get("OmniRig", "Rig2"), "0") << saved;

    // Once it is gone the port is free again.
    transport::Port port;
    EXPECT_EQ(OpenComPort(port, 1), 0);
}

} // namespace
} // namespace koravel::test
