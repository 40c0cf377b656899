// The remote station: the real window, its timers running, on COM6 standing
// for the real ser2net that serves the simulated unit's pseudo-terminal; once
// through a relay that adds 150 ms each way, with a followed rig (rigctld's
// dummy) and a set-up transfer; once through a restart of ser2net; and ports
// that cannot be reached, or are held by another client; and a server that
// floods the line.
#include "child_program.h"
#include "window_fixture.h"

#include "cat/omnirig_tlb.h"
#include "protocol/status_reply.h"
#include "station/port_links.h"
#include "support/network_serial.h"
#include "support/process.h"
#include "support/rig_process.h"
#include "support/setup_image.h"
#include "ui/elided_label.h"
#include "ui/image_box.h"
#include "ui/network_port_dialog.h"
#include "ui/serial_devices_dialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace koravel::test {
namespace {

using Clock = std::chrono::steady_clock;
using testing_support::DelayRelay;
using testing_support::RigctldProcess;
using testing_support::Ser2netProcess;

// "14.200 MHz" with the user's decimal point, as lFreq shows it.
QString Mhz(int khz) {
    return QStringLiteral("%1%2%3 MHz")
        .arg(khz / 1000, 2, 10, QLatin1Char('0'))
        .arg(QLocale().decimalPoint())
        .arg(khz % 1000, 3, 10, QLatin1Char('0'));
}

// A client of its own on the loopback port, until it goes.
class HeldConnection {
public:
    explicit HeldConnection(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~HeldConnection() { ::close(fd_); }
    HeldConnection(const HeldConnection&) = delete;
    HeldConnection& operator=(const HeldConnection&) = delete;
    bool connected() const { return connected_; }

private:
    int fd_;
    bool connected_ = false;
};

class RemoteStationTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (testing_support::Ser2netPath().empty())
            GTEST_SKIP() << "ser2net (package ser2net) is not installed";
    }
    void TearDown() override {
        WindowTest::TearDown();
        relay_.reset();
        server_.reset();
        rig_.reset();
        EXPECT_TRUE(TOmniRigX::WaitForWorkers(15000));
    }

    // The unit on its pseudo-terminal, served by ser2net.
    Ser2netProcess& ServeUnit() {
        unit_ = &StartSim(1);
        server_ = std::make_unique<Ser2netProcess>(
            unit_->SlavePath(), testing_support::FreeLoopbackPort(), dir_ + "/ser2net.yaml");
        EXPECT_TRUE(server_->Start()) << server_->Errors();
        return *server_;
    }
    void Link(int number, const std::string& url) const {
        std::string error;
        ASSERT_TRUE(SetPortLink(dir_, number, url, error)) << error;
    }
    TfmMain& StartWindow(const std::string& ini) {
        WriteIni(ini);
        TfmMain& w = MakeWindow(/*keepTimers=*/true);
        w.show();
        w.FormActivate();
        return w;
    }
    std::vector<Bytes> Tunes() const { return TuneArguments(*unit_); }
    bool WaitForTune(const Bytes& argument) const {
        return WaitFor(
            [&] {
                const auto tunes = Tunes();
                return std::find(tunes.begin(), tunes.end(), argument) != tunes.end();
            },
            20000);
    }

    sim::Simulator* unit_ = nullptr;
    std::unique_ptr<Ser2netProcess> server_;
    std::unique_ptr<DelayRelay> relay_;
    std::unique_ptr<RigctldProcess> rig_;
};

TEST_F(RemoteStationTest, ThroughA300MsRoundTripTheRigIsFollowedAndASetUpFileGoesIn) {
    if (!testing_support::HaveRigctld())
        GTEST_SKIP() << "rigctld and rigctl (package libhamlib-utils) are not installed";
    Ser2netProcess& server = ServeUnit();
    relay_ = std::make_unique<DelayRelay>(server.Port(), 150);
    ASSERT_TRUE(relay_->Start());
    Link(6, relay_->Url());
    rig_ = std::make_unique<RigctldProcess>(testing_support::FreeLoopbackPort());
    ASSERT_TRUE(rig_->Start());
    ASSERT_TRUE(testing_support::Rigctl(rig_->Port(), {"F", "7050000"}));
    std::ofstream(dir_ + "/omnirig.ini")
        << "[Rig1]\nModel=2\nPort=" << rig_->Address() << "\n[Rig2]\nModel=0\n";

    TfmMain& w = StartWindow("[General]\nSerialport=6\n[OmniRig]\nRig1=1\n");
    ASSERT_EQ(w.PortNumber, 6) << w.LastOpenFailure.toStdString();
    ASSERT_TRUE(WaitFor([&] { return w.UnitConnected; }, 20000));
    EXPECT_EQ(w.lPortDevice->fullText(), QString::fromStdString("COM6  " + relay_->Url()));

    // The rig is followed: its frequency, and then its next one, reach the unit.
    ASSERT_TRUE(WaitForTune({0x8A, 0x1B})) << "7050 kHz did not reach the unit";
    ASSERT_TRUE(testing_support::Rigctl(rig_->Port(), {"F", "14195000"}));
    ASSERT_TRUE(WaitForTune({0x73, 0x37})) << "14195 kHz did not reach the unit";
    ASSERT_TRUE(WaitFor([&] { return w.lFreq->text() == Mhz(14195); }, 20000));

    // A whole set-up file goes in.
    const std::string file = testing_support::SetupDataFile("kv100-fw113.koravel");
    prompts_->acceptFile = true;
    w.dlgOpen->selectFile(QString::fromStdString(file));
    EXPECT_EQ(w.btInviaClick(), TfmMain::SendOutcome::Sent);
    EXPECT_EQ(unit_->Eeprom(), testing_support::ExpectedImage(file, 269));
    EXPECT_TRUE(prompts_->messages.empty());
    EXPECT_GT(relay_->Relayed(), 68u * 15u); // all of it by the slow road
}

TEST_F(RemoteStationTest, AfterSer2netRestartsTheLinkComesBackWithoutAClick) {
    Ser2netProcess& server = ServeUnit();
    Link(6, server.Url());
    TfmMain& w = StartWindow("[General]\nSerialport=6\n");
    ASSERT_EQ(w.PortNumber, 6) << w.LastOpenFailure.toStdString();
    ASSERT_TRUE(WaitFor([&] { return w.UnitConnected; }, 10000));

    // ser2net serves the window alone: another client is told and let go.
    EXPECT_EQ(testing_support::TurnedAwayWith(server.Port(), 5000), "Port already in use\r\n");

    server.Stop();
    ASSERT_TRUE(WaitFor([&] { return w.lNotice->fullText().contains("connessione persa"); }, 10000))
        << w.lNotice->fullText().toStdString();
    EXPECT_EQ(w.PortNumber, 6);
    unit_->Modify([](sim::UnitState& s) { s.frequencyKhz = 14200; });
    ASSERT_TRUE(server.Start()) << server.Errors();
    const auto restarted = Clock::now();
    ASSERT_TRUE(WaitFor([&] { return w.lFreq->text() == Mhz(14200); }, 15000));
    EXPECT_LT(Clock::now() - restarted, std::chrono::seconds(5));
    EXPECT_TRUE(w.UnitConnected);
    EXPECT_TRUE(prompts_->messages.empty());
    ASSERT_TRUE(WaitFor([&] { return w.lNotice->fullText().isEmpty(); }, 2000))
        << w.lNotice->fullText().toStdString();
}

TEST_F(RemoteStationTest, PortsThatCannotBeReachedAreToldAndTheWindowStaysResponsive) {
    Ser2netProcess& server = ServeUnit();
    HeldConnection other(server.Port()); // another program has the port
    ASSERT_TRUE(other.connected());
    Link(6, server.Url());
    const std::uint16_t free = testing_support::FreeLoopbackPort();
    Link(7, "tcp://127.0.0.1:" + std::to_string(free));
    // A server whose queue is full: connection attempts go unanswered.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 0), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::uint16_t silentPort = ntohs(address.sin_port);
    HeldConnection queued(silentPort); // the one connection its queue takes
    const int unanswered = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    (void)::connect(unanswered, reinterpret_cast<sockaddr*>(&address), sizeof address);
    Link(8, "tcp://127.0.0.1:" + std::to_string(silentPort));

    // At start-up: the bar says why (from the first poll tick on).
    TfmMain& w = StartWindow("[General]\nSerialport=7\n");
    EXPECT_EQ(w.PortNumber, 0);
    const QString refused =
        QStringLiteral("impossibile collegarsi a 127.0.0.1:%1: connessione rifiutata").arg(free);
    EXPECT_TRUE(WaitFor([&] { return w.lNotice->fullText().contains(refused); }, 5000))
        << w.lNotice->fullText().toStdString();

    // From the menu: a box says the port is held by another program.
    w.ComPortClick(6);
    EXPECT_EQ(w.PortNumber, 0);
    ASSERT_EQ(prompts_->messages.size(), 1u);
    EXPECT_TRUE(prompts_->messages.back().second.contains(QStringLiteral(
        "dice che la sua porta è usata da un altro programma (\"Port already in use\")")))
        << prompts_->messages.back().second.toStdString();

    // A server that never answers holds the window up no longer than the
    // connection's time-out, and the timers run on afterwards.
    const auto start = Clock::now();
    w.ComPortClick(8);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(prompts_->messages.size(), 2u);
    EXPECT_TRUE(prompts_->messages.back().second.contains(QStringLiteral("connessione scaduta")))
        << prompts_->messages.back().second.toStdString();
    int ticks = 0;
    QObject::connect(w.tmPoll, &QTimer::timeout, [&ticks] { ++ticks; });
    EXPECT_TRUE(WaitFor([&] { return ticks >= 2; }, 5000));
    ::close(unanswered);
    ::close(silent);

    // "Network port..." gives a number to a serial server's port.
    w.SerialDevices1Click();
    SerialDevicesDialog& devices = *w.dlgSerialDevices;
    devices.edNumber->setValue(9);
    devices.btNetwork->click();
    ASSERT_NE(devices.dlgNetwork, nullptr);
    NetworkPortDialog& network = *devices.dlgNetwork;
    network.edHost->setText(QStringLiteral("shack pi"));
    network.buttons->button(QDialogButtonBox::Ok)->click();
    EXPECT_TRUE(network.isVisible());
    EXPECT_EQ(network.lProblem->text(), QStringLiteral("'shack pi' is not a host name or address"));
    network.edHost->setText(QStringLiteral("shack-pi"));
    network.edPort->setValue(3001);
    network.buttons->button(QDialogButtonBox::Ok)->click();
    EXPECT_FALSE(network.isVisible());
    EXPECT_EQ(devices.lMessage->text(), QStringLiteral("COM9 ora indica tcp://shack-pi:3001."));
    w.RefreshComItems();
    EXPECT_EQ(w.COM9->text(), QStringLiteral("COM9  tcp://shack-pi:3001"));
    EXPECT_EQ(w.COM6->text(), QString::fromStdString("COM6  " + server.Url()));
}

TEST_F(RemoteStationTest, AServerThatFloodsTheLineLeavesTheWindowAnswering) {
    testing_support::FloodingPeer peer;
    ASSERT_TRUE(peer.Start());
    Link(6, peer.Url());
    TfmMain& w = StartWindow("[General]\nSerialport=6\n");
    ASSERT_EQ(w.PortNumber, 6) << w.LastOpenFailure.toStdString();
    // The 20 m band button's tune: command 3, 14200 kHz.
    const auto tunes = [&peer] {
        const auto requests = peer.Requests();
        return std::count_if(requests.begin(), requests.end(), [](const Bytes& r) {
            return r.size() == 5 && r[1] == 0x03 && r[2] == 0x78 && r[3] == 0x37;
        });
    };
    // The poll goes on, and a click that comes through the window's own
    // loop gets its frame on the wire.
    ASSERT_TRUE(WaitFor([&] { return peer.Requests().size() >= 3; }));
    QTimer::singleShot(0, &w, [&w] { MouseClick(w.Image14); });
    ASSERT_TRUE(WaitFor([&] { return tunes() == 1; })) << peer.Requests().size() << " frames";
    EXPECT_GT(peer.Flooded(), 1024u * 1024u);
    EXPECT_FALSE(w.UnitConnected);

    // The program itself ends on SIGTERM in the middle of the flood.
    const std::string trace = dir_ + "/flood.trace";
    ChildProgram koravel(testing_support::BinPath("koravel"), {}, KoravelEnv(dir_, trace));
    ASSERT_TRUE(koravel.Started());
    EXPECT_TRUE(WaitUntil([&] { return TraceLines(trace, "tx") >= 3; })) << koravel.Err();
    koravel.Signal(SIGTERM);
    ASSERT_TRUE(koravel.Wait(20000)) << "SIGTERM did not end koravel";
    EXPECT_TRUE(koravel.Exited() && koravel.ExitCode() == 0) << koravel.Err();
}

} // namespace
} // namespace koravel::test
