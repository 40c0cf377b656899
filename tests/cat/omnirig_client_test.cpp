// TOmniRigX with in-process rigs: Hamlib's dummy rig, ports where nothing
// listens or nobody answers, and bad settings files.
#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "cat_test_support.h"
#include "event_recorder.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>

using cattest::EventRecord;
using cattest::WaitUntil;

namespace {

constexpr int kDummyFreq = 145000000; // Hamlib's dummy rig starts on 145 MHz

class OmniRigClient : public testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(TOmniRigX::WaitForWorkers(15000)); }
    QTemporaryDir dir_;
};

} // namespace

TEST_F(OmniRigClient, ConnectFailsOnBadSettingsAndSucceedsOnceTheyAreMended) {
    TOmniRigX client(nullptr, dir_.path());
    cattest::WriteIni(dir_.path(), "[Rig1]\nModel=987654\n");
    EXPECT_FALSE(client.Connect());
    EXPECT_TRUE(client.LastError().contains("987654")) << client.LastError().toStdString();
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.Rig1(), nullptr);
    EXPECT_EQ(client.Rig2(), nullptr);

    cattest::WriteIni(dir_.path(), "[Rig2]\nModel=1\nPollMs=0\n");
    EXPECT_FALSE(client.Connect());
    EXPECT_TRUE(client.LastError().contains("PollMs")) << client.LastError().toStdString();

    // The next attempt (as "Config Radio" makes) reads the file again.
    cattest::WriteIni(dir_.path(), "[Rig1]\nModel=0\n[Rig2]\nModel=0\n");
    EXPECT_TRUE(client.Connect()) << client.LastError().toStdString();
    EXPECT_TRUE(client.LastError().isEmpty());
    ASSERT_NE(client.Rig1(), nullptr);
    EXPECT_EQ(client.Rig1()->Status(), cat::kStatusNotConfigured);
    EXPECT_FALSE(client.Rig1()->Freq());
}

TEST_F(OmniRigClient, DummyRigComesOnLineAndNotifiesOnTheMainThread) {
    cattest::WriteIni(dir_.path(), "[Rig1]\nModel=1\n[Rig2]\nModel=1\nEnabled=false\n");
    TOmniRigX client(nullptr, dir_.path());
    cattest::EventRecorder events;
    events.Bind(client);
    ASSERT_TRUE(client.Connect()) << client.LastError().toStdString();
    IRigX* rig1 = client.Rig1();
    IRigX* rig2 = client.Rig2();
    ASSERT_NE(rig1, nullptr);
    ASSERT_NE(rig2, nullptr);
    EXPECT_EQ(rig1->RigNumber(), 1);
    EXPECT_EQ(rig2->RigNumber(), 2);

    ASSERT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Params, 1) > 0; }));
    EXPECT_EQ(rig1->Status(), cat::kStatusOnLine);
    EXPECT_EQ(rig1->StatusStr(), "On-line");
    EXPECT_EQ(rig1->Freq(), kDummyFreq);
    EXPECT_GE(events.Count(EventRecord::Status, 1), 1);
    // The first reading brings every value the dummy reports.
    const auto& records = events.Records();
    const auto first = std::find_if(records.begin(), records.end(), [](const EventRecord& r) {
        return r.kind == EventRecord::Params;
    });
    ASSERT_NE(first, records.end());
    EXPECT_TRUE(first->params & cat::kParamFreq);
    EXPECT_TRUE(first->params & cat::kParamMode);
    EXPECT_TRUE(first->params & cat::kParamVfo);

    // Rig 2 is disabled: no worker, no events, no frequency.
    EXPECT_EQ(rig2->Status(), cat::kStatusDisabled);
    EXPECT_FALSE(rig2->Freq());
    EXPECT_EQ(events.Count(EventRecord::Params, 2) + events.Count(EventRecord::Status, 2), 0);

    // A steady rig raises nothing more.
    const int before = events.Total();
    cattest::PumpFor(400);
    EXPECT_EQ(events.Total(), before);
    EXPECT_TRUE(events.AllOnMainThreadFromClient());
}

TEST_F(OmniRigClient, PortWhereNothingListensIsBusyAndHasNoFrequency) {
    const quint16 port = cattest::FreePort();
    ASSERT_NE(port, 0);
    cattest::WriteIni(
        dir_.path(),
        QStringLiteral("[Rig1]\nModel=2\nPort=127.0.0.1:%1\n[Rig2]\nModel=0\n").arg(port));
    TOmniRigX client(nullptr, dir_.path());
    cattest::EventRecorder events;
    events.Bind(client);
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(WaitUntil([&] { return client.Rig1()->Status() == cat::kStatusPortBusy; }));
    EXPECT_FALSE(client.Rig1()->Freq());
    EXPECT_TRUE(client.Rig1()->StatusStr().startsWith("Port is not available ("))
        << client.Rig1()->StatusStr().toStdString();
    EXPECT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Status, 1) == 1; }));
    EXPECT_EQ(events.Count(EventRecord::Params), 0) << "no value was ever known";
}

TEST_F(OmniRigClient, DestroyingWhileTheRigDoesNotAnswerReturnsAndRaisesNothingMore) {
    // A server that accepts connections and never answers: Hamlib waits for
    // its time-out inside rig_open.
    cattest::SilentServer silent;
    ASSERT_NE(silent.Port(), 0);
    cattest::WriteIni(dir_.path(), QStringLiteral("[Rig1]\nModel=2\nPort=127.0.0.1:%1\n"
                                                  "[Rig2]\nModel=1\n")
                                       .arg(silent.Port()));
    auto events = std::make_unique<cattest::EventRecorder>();
    auto client = std::make_unique<TOmniRigX>(nullptr, dir_.path());
    events->Bind(*client);
    ASSERT_TRUE(client->Connect());
    ASSERT_TRUE(silent.WaitForClient(10000)) << "the worker never connected";
    ASSERT_TRUE(WaitUntil([&] { return client->Rig2()->Status() == cat::kStatusOnLine; }));
    EXPECT_EQ(client->Rig1()->Status(), cat::kStatusNotResponding);

    // Rig 2 keeps polling and rig 1 is blocked in Hamlib: neither holds up
    // the destruction, and nothing queued is delivered afterwards.
    client.reset();
    const int after = events->Total();
    cattest::PumpFor(300);
    EXPECT_EQ(events->Total(), after);
}

TEST_F(OmniRigClient, DialogPicksAModelAndReopensTheRig) {
    const quint16 port = cattest::FreePort();
    cattest::WriteIni(dir_.path(),
                      QStringLiteral("[Extra]\nNote=kept\n[Rig1]\nModel=2\nPort=127.0.0.1:%1\n"
                                     "[Rig2]\nModel=0\n")
                          .arg(port));
    QWidget window;
    auto* client = new TOmniRigX(&window, dir_.path());
    cattest::EventRecorder events;
    events.Bind(*client);

    // "Config Radio" before any connection connects first.
    ASSERT_TRUE(client->SetDialogVisible(true)) << client->LastError().toStdString();
    EXPECT_TRUE(client->Connected());
    auto* dialog = window.findChild<QDialog*>("dlgOmniRig");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(client->DialogVisible());
    EXPECT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Visible) == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return client->Rig1()->Status() == cat::kStatusPortBusy; }));

    // Filter the list down to Hamlib's dummy rig and pick it.
    auto* filter = dialog->findChild<QLineEdit*>("edFilter1");
    auto* models = dialog->findChild<QListWidget*>("lbModels1");
    auto* portEdit = dialog->findChild<QLineEdit*>("edPort1");
    auto* speed = dialog->findChild<QComboBox*>("cbSpeed1");
    auto* poll = dialog->findChild<QSpinBox*>("sePollMs1");
    ASSERT_TRUE(filter && models && portEdit && speed && poll);
    EXPECT_EQ(portEdit->text(), QStringLiteral("127.0.0.1:%1").arg(port));
    filter->setText("hamlib DUMMY");
    QListWidgetItem* dummy = nullptr;
    int shown = 0;
    for (int row = 0; row < models->count(); ++row) {
        QListWidgetItem* item = models->item(row);
        if (!item->isHidden()) {
            ++shown;
            EXPECT_TRUE(item->text().contains("dummy", Qt::CaseInsensitive) &&
                        item->text().contains("hamlib", Qt::CaseInsensitive))
                << item->text().toStdString();
        }
        if (item->text() == "Hamlib Dummy (1)") {
            dummy = item;
        }
    }
    ASSERT_NE(dummy, nullptr);
    EXPECT_FALSE(dummy->isHidden());
    EXPECT_LT(shown, 10);
    EXPECT_GT(models->count(), 100) << "Hamlib's whole list is offered";
    models->setCurrentItem(dummy);
    EXPECT_TRUE(portEdit->text().isEmpty()) << "the dummy rig has no port";
    EXPECT_FALSE(portEdit->isEnabled());
    poll->setValue(50);

    // A speed that is not a number keeps the dialog open and writes nothing.
    const QString iniBefore = cattest::ReadIni(dir_.path());
    speed->setCurrentText("fast");
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->findChild<QLabel*>("lError")->text().contains("fast"));
    EXPECT_EQ(cattest::ReadIni(dir_.path()), iniBefore);

    speed->setCurrentText("Default");
    dialog->accept();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(client->DialogVisible());
    const QString ini = cattest::ReadIni(dir_.path());
    EXPECT_TRUE(ini.contains("Model=1")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("PollMs=50")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Note=kept")) << ini.toStdString();

    // The rig is reopened with the dummy model, and the handlers hear of it.
    ASSERT_TRUE(WaitUntil([&] { return client->Rig1()->Status() == cat::kStatusOnLine; }))
        << client->Rig1()->StatusStr().toStdString();
    EXPECT_EQ(client->Rig1()->Freq(), kDummyFreq);
    EXPECT_TRUE(WaitUntil([&] { return events.Count(EventRecord::RigType, 1) == 1; }));
    EXPECT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Visible) == 2; }));
    EXPECT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Params, 1) >= 1; }));
    EXPECT_EQ(events.Count(EventRecord::RigType, 2), 0);
    EXPECT_TRUE(events.AllOnMainThreadFromClient());

    // Shown again, the dialog holds the stored settings.
    ASSERT_TRUE(client->SetDialogVisible(true));
    EXPECT_EQ(models->currentItem(), dummy);
    EXPECT_EQ(poll->value(), 50);
    ASSERT_TRUE(client->SetDialogVisible(false));
    EXPECT_FALSE(dialog->isVisible());
}
