// The status bar, the device names in the Com Port menu and the Serial
// devices dialog, with the real window against the simulated unit, Hamlib's
// rigctld and a made-up /dev and /sys tree.
#include "window_fixture.h"

#include "ui/shape.h"

#include "cat/omnirig_tlb.h"
#include "support/fake_devices.h"
#include "support/pty_port.h"
#include "support/rig_process.h"
#include "ui/colors.h"
#include "ui/elided_label.h"
#include "ui/looks.h"
#include "ui/serial_devices_dialog.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace koravel::test {
namespace {

class StatusBarTest : public WindowTest {
protected:
    // What the bar shows, line by line.
    struct Bar {
        QString link, port, rigs, notice;
    };
    static Bar BarOf(const TfmMain& w) {
        return {w.lLinkState->text(), w.lPortDevice->fullText(), w.lRigs->text(),
                w.lNotice->fullText()};
    }
};

TEST_F(StatusBarTest, FollowsTheLinkThroughThePollsStates) {
    sim::UnitConfig tuned;
    tuned.startFrequencyKhz = 14200;
    sim::Simulator& unit = StartSim(1, tuned);
    TfmMain& w = MakeWindow();
    w.show();
    w.FormActivate();
    const QString port = QStringLiteral("COM1  %1").arg(QString::fromStdString(unit.SlavePath()));

    TickAndWait(unit);
    Bar bar = BarOf(w);
    EXPECT_EQ(bar.link, "Stato: in connessione...");
    EXPECT_EQ(bar.port, port);
    EXPECT_EQ(bar.rigs, "") << "no rig is followed";
    EXPECT_EQ(bar.notice, "");

    // The answer, and the firmware with it.
    sim::Faults silent;
    silent.drop = 1.0; // from now on the unit does not answer
    unit.SetFaults(silent);
    w.tmPollTimer();
    ASSERT_TRUE(w.UnitConnected);
    EXPECT_EQ(BarOf(w).link, "Connesso con Koravel v1.13");

    EXPECT_EQ(w.ldPower->brushColor(), QColor(0x3C, 0xE6, 0x5A)) << "the pilot lamp lit";
    const QColor readoutColour = TextColorOf(w.lFreq);

    // The silence is told from its second second (3 ticks, 1.2 s) on, and
    // the read-out dims; 38 silent ticks keep the link; the 39th takes it
    // down.
    w.tmPollTimer();
    w.tmPollTimer();
    EXPECT_EQ(BarOf(w).notice, "") << "under a second";
    EXPECT_EQ(TextColorOf(w.lFreq), readoutColour);
    w.tmPollTimer();
    EXPECT_EQ(BarOf(w).notice, "Nessuna risposta dalla centralina da 1 s");
    EXPECT_EQ(TextColorOf(w.lNotice), colors::clAlarmText);
    EXPECT_NE(TextColorOf(w.lFreq), readoutColour) << "dimmed";
    EXPECT_EQ(w.lFreq->text(), "14.200 MHz") << "the reading stays, dimmed, while the link holds";
    for (int tick = 4; tick <= 38; ++tick)
        w.tmPollTimer();
    EXPECT_EQ(BarOf(w).link, "Connesso con Koravel v1.13");
    EXPECT_EQ(BarOf(w).notice, "Nessuna risposta dalla centralina da 15 s");
    w.tmPollTimer();
    EXPECT_FALSE(w.UnitConnected);
    EXPECT_EQ(BarOf(w).link, "Stato: in connessione...");
    EXPECT_EQ(BarOf(w).port, port);
    // Down: no frequency shown as current, the lamp not green, the silence
    // still counted.
    EXPECT_EQ(w.lFreq->text(), "--.--- MHz");
    EXPECT_NE(w.ldPower->brushColor().green(), 0xE6);
    EXPECT_EQ(BarOf(w).notice, "Nessuna risposta dalla centralina da 15 s");
    w.tmPollTimer();
    w.tmPollTimer();
    EXPECT_EQ(BarOf(w).notice, "Nessuna risposta dalla centralina da 16 s");

    // The bar sits below the front panel, always shown, the full width.
    EXPECT_TRUE(w.sbStatus->isVisible());
    EXPECT_EQ(w.sbStatus->geometry().top(), w.centralWidget()->geometry().bottom() + 1);
    EXPECT_EQ(w.sbStatus->width(), 526);

    // Another notice joins the bar; an alarm is red.
    w.SetStatusNotice(QStringLiteral("transmit"), QStringLiteral("Transmitting: hold on"), true);
    w.tmPollTimer();
    EXPECT_NE(BarOf(w).notice.indexOf("Transmitting: hold on"), -1);
    EXPECT_EQ(TextColorOf(w.lNotice), colors::clAlarmText);
    w.SetStatusNotice(QStringLiteral("transmit"), QString());
    w.tmPollTimer();
    EXPECT_EQ(BarOf(w).notice.indexOf("Transmitting"), -1);
}

TEST_F(StatusBarTest, FailedOpenIsInTheBarAtStartUpAndInABoxFromTheMenu) {
    Unplugged(1);
    TfmMain& w = MakeWindow();
    w.FormActivate();
    w.tmPollTimer();
    EXPECT_TRUE(prompts_->messages.empty()) << "no box at start-up";
    const QString expected =
        QStringLiteral("COM1 non si apre: il suo dispositivo %1/absent-device non è collegato (il "
                       "collegamento %1/ports/com1 lo attende).")
            .arg(QString::fromStdString(dir_));
    // The port is tried again, and the bar says so.
    const QString retrying = expected + QStringLiteral("   Nuovo tentativo su COM1 ogni 2 s.");
    Bar bar = BarOf(w);
    EXPECT_EQ(bar.link, "Stato: non connesso (porta chiusa).");
    EXPECT_EQ(w.lStatus->text(), "Stato: non connesso (porta chiusa).");
    EXPECT_EQ(bar.port, "COM1");
    EXPECT_EQ(bar.notice, retrying);
    EXPECT_EQ(w.lNotice->toolTip(), retrying) << "the whole text, however narrow the bar";
    EXPECT_EQ(w.LastOpenFailure, expected);

    // Picked from the menu: the same words in a box.
    w.COM1->trigger();
    ASSERT_EQ(prompts_->messages.size(), 1u);
    EXPECT_EQ(prompts_->messages[0].first, "Koravel");
    EXPECT_EQ(prompts_->messages[0].second, expected);

    // A port that opens clears it, and the bar names its device.
    sim::Simulator& unit = StartSim(2);
    w.COM2->trigger();
    EXPECT_EQ(prompts_->messages.size(), 1u);
    bar = BarOf(w);
    EXPECT_EQ(bar.link, "Stato: in connessione...");
    EXPECT_EQ(bar.port, QStringLiteral("COM2  %1").arg(QString::fromStdString(unit.SlavePath())));
    EXPECT_EQ(bar.notice, "");
    EXPECT_TRUE(w.LastOpenFailure.isEmpty());
}

TEST_F(StatusBarTest, ComMenuNamesEachNumbersDevice) {
    sim::Simulator& unit = StartSim(1);
    Unplugged(3);
    TfmMain& w = MakeWindow();
    w.show();
    w.FormActivate();

    w.Communication1->popup(w.mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(WaitFor([&] { return w.Communication1->isVisible(); }));
    EXPECT_EQ(w.COM1->text(),
              QStringLiteral("COM1  %1").arg(QString::fromStdString(unit.SlavePath())));
    EXPECT_EQ(w.COM3->text(), "COM3");
    EXPECT_EQ(w.COM1->objectName(), "COM1");
    EXPECT_TRUE(w.COM1->isChecked());
    w.Communication1->hide();

    // The number changes its device: the next showing says so.
    testing_support::PtyPort other(dir_, 3);
    w.Communication1->popup(w.mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(WaitFor([&] { return w.Communication1->isVisible(); }));
    EXPECT_EQ(w.COM3->text(),
              QStringLiteral("COM3  %1").arg(QString::fromStdString(other.slavePath())));
    w.Communication1->hide();

    // "Serial devices..." shows the numbers and what they stand for.
    w.SerialDevices1->trigger();
    ASSERT_NE(w.dlgSerialDevices, nullptr);
    EXPECT_TRUE(w.dlgSerialDevices->isVisible());
    QStringList rows;
    for (int i = 0; i < w.dlgSerialDevices->lvDevices->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = w.dlgSerialDevices->lvDevices->topLevelItem(i);
        if (row->text(SerialDevicesDialog::ColNumbers).startsWith(QStringLiteral("COM")))
            rows << row->text(SerialDevicesDialog::ColNumbers) + " " +
                        row->text(SerialDevicesDialog::ColDevice);
    }
    EXPECT_EQ(rows, (QStringList{
                        QStringLiteral("COM1 %1").arg(QString::fromStdString(unit.SlavePath())),
                        QStringLiteral("COM3 %1").arg(QString::fromStdString(other.slavePath()))}));
}

TEST_F(StatusBarTest, SerialDevicesDialogGivesAndTakesNumbersAsDevicesComeAndGo) {
    testing_support::FakeDeviceTree tree;
    testing_support::PtyPort adapter(dir_, 200); // a character device to stand for the adapter
    const char* const byId = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    tree.AddNode("ttyUSB0", adapter.slavePath());
    tree.AddUsbTty("ttyUSB0", {"FTDI", "FT232R USB UART", "A50285BI", true});
    tree.AddById(byId, "ttyUSB0");
    tree.AddNode("ttyS0");
    tree.AddUartTty("ttyS0", 0, "serial8250"); // no port behind it
    fs::remove(dir_ + "/ports/com200");
    const std::string config = dir_ + "/config"; // made when the first number is given

    SerialDevicesDialog dialog(QString::fromStdString(config), QString::fromStdString(tree.root()));
    dialog.show();
    QTreeWidget* list = dialog.lvDevices;
    ASSERT_EQ(list->topLevelItemCount(), 1);
    QTreeWidgetItem* row = list->topLevelItem(0);
    EXPECT_EQ(row->text(SerialDevicesDialog::ColNumbers), "");
    EXPECT_EQ(row->text(SerialDevicesDialog::ColDevice),
              QString::fromStdString(tree.Dev("ttyUSB0")));
    EXPECT_EQ(row->text(SerialDevicesDialog::ColDescription), "FTDI FT232R USB UART (A50285BI)");
    EXPECT_EQ(row->text(SerialDevicesDialog::ColById), byId);

    // Selected, it is offered the first free number: COM1 (ttyS0 has no port).
    list->setCurrentItem(row);
    EXPECT_EQ(dialog.edNumber->value(), 1);
    EXPECT_FALSE(dialog.btRelease->isEnabled());
    dialog.edNumber->setValue(3);
    EXPECT_EQ(dialog.btAssign->text(), "Assegna COM3");
    dialog.btAssign->click();
    EXPECT_EQ(fs::read_symlink(config + "/ports/com3"),
              tree.Dev(std::string("serial/by-id/") + byId));
    EXPECT_EQ(list->topLevelItem(0)->text(SerialDevicesDialog::ColNumbers), "COM3");
    EXPECT_EQ(dialog.lMessage->text(),
              QStringLiteral("COM3 ora indica %1.")
                  .arg(QString::fromStdString(tree.Dev(std::string("serial/by-id/") + byId))));
    EXPECT_TRUE(dialog.btRelease->isEnabled());

    // Plugged in while the dialog is open: it appears by itself.
    tree.AddUsbTty("ttyACM0", {"Arduino (www.arduino.cc)", "Arduino Uno", "8573531", false});
    tree.AddNode("ttyACM0");
    ASSERT_TRUE(WaitFor([&] { return list->topLevelItemCount() == 2; }, 5000))
        << "the list did not follow the new device";
    EXPECT_EQ(list->topLevelItem(0)->text(SerialDevicesDialog::ColDevice),
              QString::fromStdString(tree.Dev("ttyACM0")));

    // Something of the user's own in ports/ is shown, and never removed.
    std::ofstream(config + "/ports/com4") << "mine";
    ASSERT_TRUE(WaitFor([&] { return list->topLevelItemCount() == 3; }, 5000));
    EXPECT_EQ(list->topLevelItem(2)->text(SerialDevicesDialog::ColDescription),
              "non è un collegamento simbolico");
    dialog.edNumber->setValue(4);
    dialog.btRelease->click();
    EXPECT_TRUE(fs::is_regular_file(config + "/ports/com4"));
    EXPECT_TRUE(dialog.lMessage->text().startsWith("COM4 non è cambiata: "))
        << dialog.lMessage->text().toStdString();

    // Unplugged: COM3 stays, waiting for its device.
    tree.RemoveNode("ttyUSB0");
    fs::remove(tree.Dev(std::string("serial/by-id/") + byId));
    ASSERT_TRUE(WaitFor(
        [&] {
            for (int i = 0; i < list->topLevelItemCount(); ++i) {
                if (list->topLevelItem(i)->text(SerialDevicesDialog::ColDescription) ==
                    "non collegato")
                    return true;
            }
            return false;
        },
        5000))
        << "the list did not follow the unplugged adapter";

    // Taking the number back removes the link.
    dialog.edNumber->setValue(3);
    dialog.btRelease->click();
    EXPECT_FALSE(fs::exists(fs::symlink_status(config + "/ports/com3")));
    EXPECT_EQ(dialog.lMessage->text(), "COM3 ora non ha collegamento.");
    EXPECT_EQ(list->topLevelItemCount(), 2);
}

TEST_F(StatusBarTest, FollowedRigShowsItsFrequencyOrWhyNot) {
    if (!testing_support::HaveRigctld())
        GTEST_SKIP() << "rigctld and rigctl (package libhamlib-utils) are not installed";
    testing_support::RigctldProcess rig(testing_support::FreeLoopbackPort());
    ASSERT_TRUE(rig.Start()) << "rigctld did not start on " << rig.Address();
    ASSERT_TRUE(testing_support::Rigctl(rig.Port(), {"F", "14195999"}));
    // Rig 2 on a port where no rigctld listens.
    const std::string nobody = "127.0.0.1:" + std::to_string(testing_support::FreeLoopbackPort());
    std::ofstream(dir_ + "/omnirig.ini") << "[Rig1]\nModel=2\nPort=" << rig.Address()
                                         << "\n[Rig2]\nModel=2\nPort=" << nobody << "\n";
    sim::Simulator& unit = StartSim(1);
    WriteIni("[General]\nSerialport=1\n[OmniRig]\nRig1=1\nRig2=1\n");
    TfmMain& w = MakeWindow();
    w.FormActivate();
    TickAndWait(unit);
    EXPECT_EQ(BarOf(w).rigs, "") << "no CAT client before the link is up";
    TickAndWait(unit);
    TickAndWait(unit); // the tick after the link starts the client
    ASSERT_NE(w.OmniRigClient, nullptr);

    EXPECT_TRUE(WaitFor([&] {
        w.RenderStatusBar();
        return BarOf(w).rigs ==
               QStringLiteral("Radio 1: 14.195 MHz   Radio 2: porta %1 non disponibile: rigctld "
                              "dovrebbe essere in ascolto lì")
                   .arg(QString::fromStdString(nobody));
    })) << BarOf(w).rigs.toStdString();
    rig.Stop();
    EXPECT_TRUE(WaitFor(
        [&] {
            w.RenderStatusBar();
            return BarOf(w).rigs.startsWith("Radio 1: non risponde");
        },
        20000))
        << BarOf(w).rigs.toStdString();

    // The window and its client go; their rig threads end by themselves.
    window_.reset();
    EXPECT_TRUE(TOmniRigX::WaitForWorkers(15000));
}

} // namespace
} // namespace koravel::test
