// Start-up from the settings file, the COM menu and the settings written at
// close, with the real window and simulated units on pseudo-terminals.
#include "window_fixture.h"

#include "ini/profile.h"
#include "unit/unit.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>

#include <filesystem>

namespace koravel::test {
namespace {

std::vector<int> CheckedComItems(const TfmMain& w) {
    std::vector<int> checked;
    const auto items = w.ComItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i]->isChecked())
            checked.push_back(static_cast<int>(i) + 1);
    }
    return checked;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find("\r\n", from);
        if (end == std::string::npos) {
            lines.push_back(text.substr(from));
            break;
        }
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

ini::Profile SavedProfile(const std::string& path) {
    std::string error;
    auto profile = ini::Profile::Load(path, error);
    EXPECT_TRUE(profile) << error;
    return profile ? *profile : ini::Profile{};
}

using StartupTest = WindowTest;

TEST_F(StartupTest, NoSettingsFileOpensPortOneAndSavesDefaultsAtClose) {
    sim::Simulator& unit = StartSim(1);
    TfmMain& w = MakeWindow();
    w.FormActivate();

    EXPECT_FALSE(w.FirstActivation);
    EXPECT_EQ(w.PortNumber, 1);
    EXPECT_EQ(w.lStatus->text(), "Stato: in connessione...");
    EXPECT_EQ(CheckedComItems(w), std::vector<int>{1});
    EXPECT_FALSE(w.ckOmni1->isChecked());
    EXPECT_FALSE(w.ckOmni2->isChecked());
    EXPECT_TRUE(prompts_->messages.empty());

    // The first frame the window writes: F5 0D 01 59 FA.
    TickAndWait(unit);
    EXPECT_EQ(unit.Requests().at(0), (Bytes{0x0D, 0x01, 0x59}));

    w.close();
    const ini::Profile saved = SavedProfile(IniPath());
    EXPECT_EQ(saved.Get("General", "Serialport"), "1");
    EXPECT_EQ(saved.Get("OmniRig", "Rig1"), "0");
    EXPECT_EQ(saved.Get("OmniRig", "Rig2"), "0");
}

TEST_F(StartupTest, NoSettingsFileAndNoDeviceLeavesThePortClosedAndSavesZero) {
    Unplugged(1);
    TfmMain& w = MakeWindow();
    w.FormActivate();

    EXPECT_EQ(w.PortNumber, 0);
    EXPECT_EQ(w.lStatus->text(), "Stato: non connesso (porta chiusa).");
    EXPECT_TRUE(CheckedComItems(w).empty());
    EXPECT_FALSE(w.btImposta->isEnabled());
    EXPECT_FALSE(w.btRetract->isEnabled());

    w.close();
    const ini::Profile saved = SavedProfile(IniPath());
    EXPECT_EQ(saved.Get("General", "Serialport"), "0");
    EXPECT_EQ(saved.Get("OmniRig", "Rig1"), "0");
    EXPECT_EQ(saved.Get("OmniRig", "Rig2"), "0");
}

TEST_F(StartupTest, PortZeroFailsWithoutMarksAndRigsAreRestoredAnyway) {
    StartSim(1); // present, but not the port asked for
    WriteIni("[General]\nSerialport=0\n[OmniRig]\nRig1=1\nRig2=0\n");
    TfmMain& w = MakeWindow();
    w.FormActivate();

    EXPECT_EQ(w.PortNumber, 0);
    EXPECT_EQ(w.lStatus->text(), "Stato: non connesso (porta chiusa).");
    EXPECT_TRUE(CheckedComItems(w).empty());
    EXPECT_TRUE(w.ckOmni1->isChecked());
    EXPECT_FALSE(w.ckOmni2->isChecked());
}

TEST_F(StartupTest, PortFifteenOpensWithoutAMarkAndIsSavedAgain) {
    sim::Simulator& unit = StartSim(15);
    WriteIni("[General]\nSerialport= 15 \n[OmniRig]\nRig1=0\nRig2=0x1\n");
    TfmMain& w = MakeWindow();
    w.FormActivate();

    EXPECT_EQ(w.PortNumber, 15);
    EXPECT_EQ(w.lStatus->text(), "Stato: in connessione...");
    EXPECT_TRUE(CheckedComItems(w).empty());
    EXPECT_FALSE(w.ckOmni1->isChecked());
    EXPECT_TRUE(w.ckOmni2->isChecked());

    // The port really is the unit on com15.
    TickAndWait(unit);
    w.tmPollTimer();
    EXPECT_TRUE(w.UnitConnected);

    w.close();
    EXPECT_EQ(SavedProfile(IniPath()).Get("General", "Serialport"), "15");
    EXPECT_EQ(SavedProfile(IniPath()).Get("OmniRig", "Rig2"), "1");
}

TEST_F(StartupTest, PortNumberThatIsNoIntegerIsReportedOnceAndTheStartUpGoesOn) {
    StartSim(1);
    WriteIni("[General]\nSerialport=abc\n[OmniRig]\nRig1=1\nRig2=1\n");
    TfmMain& w = MakeWindow();
    w.FormActivate();

    ASSERT_EQ(prompts_->messages.size(), 1u);
    EXPECT_EQ(prompts_->messages[0].first, "Koravel");
    EXPECT_EQ(prompts_->messages[0].second, "'abc' is not a valid integer value");
    EXPECT_FALSE(w.FirstActivation);
    EXPECT_EQ(w.PortNumber, 0);
    EXPECT_EQ(w.lStatus->text(), "Stato: non connesso");
    EXPECT_TRUE(CheckedComItems(w).empty());
    EXPECT_FALSE(w.unit().Port().IsOpen());
    EXPECT_TRUE(w.ckOmni1->isChecked());
    EXPECT_TRUE(w.ckOmni2->isChecked());

    // The box closing activates the window again: nothing more happens.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&w, &activate);
    w.FormActivate();
    EXPECT_EQ(prompts_->messages.size(), 1u);
    EXPECT_EQ(w.PortNumber, 0);

    // The operator picks the port from the menu.
    w.COM1->trigger();
    EXPECT_EQ(w.PortNumber, 1);
    EXPECT_EQ(CheckedComItems(w), std::vector<int>{1});
}

TEST_F(StartupTest, ActivationRunsTheStartUpOnlyOnce) {
    StartSim(3);
    // Names in any case; "x3" is 3, for koravelctl too.
    WriteIni("[general]\nSERIALPORT=x3\n");
    TfmMain& w = MakeWindow();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&w, &activate);
    EXPECT_EQ(w.PortNumber, 3);
    EXPECT_EQ(CheckedComItems(w), std::vector<int>{3});

    // A later activation does not reopen the port (which would mark COM3 again).
    w.Button1Click();
    QCoreApplication::sendEvent(&w, &activate);
    w.FormActivate();
    EXPECT_TRUE(CheckedComItems(w).empty());
    EXPECT_EQ(w.PortNumber, 3);
}

TEST_F(StartupTest, ComMenuMarksFollowTheLastPortThatOpened) {
    sim::Simulator& unit3 = StartSim(3);
    StartSim(4);
    Unplugged(1);
    Unplugged(9);
    TfmMain& w = MakeWindow();
    w.FormActivate(); // com1 is absent
    ASSERT_EQ(w.PortNumber, 0);

    w.COM3->trigger();
    EXPECT_EQ(w.PortNumber, 3);
    EXPECT_EQ(CheckedComItems(w), std::vector<int>{3});
    EXPECT_EQ(w.lStatus->text(), "Stato: in connessione...");

    // Reopening the open port keeps its mark and clears the link state.
    TickAndWait(unit3);
    w.tmPollTimer();
    ASSERT_TRUE(w.UnitConnected);
    w.COM3->trigger();
    EXPECT_EQ(CheckedComItems(w), std::vector<int>{3});
    EXPECT_FALSE(w.UnitConnected);

    w.COM4->trigger();
    EXPECT_EQ(CheckedComItems(w), std::vector<int>{4});

    // A port that does not open leaves the marks as they were.
    w.btImposta->setEnabled(true);
    w.btRetract->setEnabled(true);
    w.COM9->trigger();
    EXPECT_EQ(w.PortNumber, 0);
    EXPECT_EQ(CheckedComItems(w), std::vector<int>{4});
    EXPECT_EQ(w.lStatus->text(), "Stato: non connesso (porta chiusa).");
    EXPECT_FALSE(w.btImposta->isEnabled());
    EXPECT_FALSE(w.btRetract->isEnabled());
    EXPECT_FALSE(w.unit().Port().IsOpen());

    // Button1 clears every mark.
    w.COM3->trigger();
    w.Button1Click();
    EXPECT_TRUE(CheckedComItems(w).empty());
}

TEST_F(StartupTest, SettingsAreWrittenInPlaceKeepingForeignLines) {
    const std::string before = "; Koravel settings\r\n"
                               "[General]\r\n"
                               "Language=it\r\n"
                               "serialport = 7\r\n"
                               "[Other]\r\n"
                               "Serialport=99\r\n"
                               "\r\n"
                               "[OmniRig]\r\n"
                               "Rig2=1\r\n";
    WriteIni(before);
    Unplugged(7);
    TfmMain& w = MakeWindow();
    w.FormActivate(); // no device on com7
    ASSERT_EQ(w.PortNumber, 0);
    ASSERT_TRUE(w.ckOmni2->isChecked());
    w.ckOmni1->setChecked(true);
    w.close();

    const std::string after = ReadIni();
    const ini::Profile saved = ini::Profile::FromText(after);
    // The operator's choice stays, though its adapter is not plugged in.
    EXPECT_EQ(saved.Get("General", "Serialport"), "7");
    EXPECT_EQ(saved.Get("General", "Language"), "it");
    EXPECT_EQ(saved.Get("Other", "Serialport"), "99");
    EXPECT_EQ(saved.Get("OmniRig", "Rig1"), "1");
    EXPECT_EQ(saved.Get("OmniRig", "Rig2"), "1");
    EXPECT_EQ(saved.LineOf("General", "Serialport"), 4); // replaced in place
    EXPECT_EQ(saved.Sections(), (std::vector<std::string>{"General", "Other", "OmniRig"}));
    // Every line but the port's is kept as it was; Rig1 is added to its section.
    const std::vector<std::string> was = Lines(before);
    const std::vector<std::string> is = Lines(after);
    ASSERT_EQ(is.size(), was.size() + 1);
    for (std::size_t i = 0; i < was.size(); ++i) {
        if (i != 3) {
            EXPECT_EQ(is[i], was[i]) << "line " << i + 1;
        }
    }
    EXPECT_EQ(saved.LineOf("OmniRig", "Rig1"), 10);
}

TEST_F(StartupTest, SettingsThatCannotBeReadAreNeitherOverwrittenNorBlockTheClose) {
    // A folder where the file should be: unreadable as a file.
    std::filesystem::create_directory(IniPath());
    Unplugged(1);
    TfmMain& w = MakeWindow();
    w.show();
    w.FormActivate();
    EXPECT_EQ(w.PortNumber, 0); // defaults: port 1, absent here
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(std::filesystem::is_directory(IniPath()));
}

} // namespace
} // namespace koravel::test
