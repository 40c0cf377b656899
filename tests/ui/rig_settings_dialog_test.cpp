// The CAT back end's settings dialog, given to a client as the window gives
// it: Hamlib's model list, omnirig.ini written through the client, and the
// rigs reopened with what was chosen.
#include "ui/rig_settings_dialog.h"

#include "cat/cat_test_support.h"
#include "cat/event_recorder.h"
#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

namespace koravel::test {
namespace {

using cattest::EventRecord;
using cattest::WaitUntil;

constexpr int kDummyFreq = 145000000; // Hamlib's dummy rig starts on 145 MHz

class RigSettingsDialogTest : public testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(TOmniRigX::WaitForWorkers(15000)); }
    QTemporaryDir dir_;
};

TEST_F(RigSettingsDialogTest, PicksAModelAndReopensTheRig) {
    const quint16 port = cattest::FreePort();
    cattest::WriteIni(dir_.path(),
                      QStringLiteral("[Extra]\nNote=kept\n[Rig1]\nModel=2\nPort=127.0.0.1:%1\n"
                                     "[Rig2]\nModel=0\n")
                          .arg(port));
    QWidget window;
    auto* client = new TOmniRigX(&window, dir_.path());
    cattest::EventRecorder events;
    events.Bind(*client);
    AttachRigSettingsDialog(*client, &window);

    // "Config Radio" before any connection connects first.
    ASSERT_TRUE(client->SetDialogVisible(true)) << client->LastError().toStdString();
    EXPECT_TRUE(client->Connected());
    auto* dialog = window.findChild<QDialog*>("dlgOmniRig");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(client->DialogVisible());
    EXPECT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Visible) == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return client->Rig1()->Status() == cat::kStatusPortBusy; }));

    // Each tab's rows lie one under the other, the model list above the
    // chosen model, whichever tab was shown when the dialog took its size.
    auto* tabs = dialog->findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    for (int page = 1; page <= 2; ++page) {
        tabs->setCurrentIndex(page - 1);
        auto* status = dialog->findChild<QLabel*>(QStringLiteral("lStatus%1").arg(page));
        status->setText(
            QString(600, QLatin1Char('x')).replace(QRegularExpression("x{12}"), "xxxxxxxxxxx "));
        QCoreApplication::processEvents();
        const auto* list = dialog->findChild<QListWidget*>(QStringLiteral("lbModels%1").arg(page));
        const auto* chosen = dialog->findChild<QLabel*>(QStringLiteral("lModel%1").arg(page));
        // In the dialog's pixels: the Hamlib rows lie in a box of their own.
        const auto rect = [dialog](const QWidget* w) {
            return QRect(w->mapTo(dialog, QPoint(0, 0)), w->size());
        };
        EXPECT_LT(rect(status).bottom(), rect(list).top()) << "tab " << page;
        EXPECT_LT(rect(list).bottom(), rect(chosen).top()) << "tab " << page;
    }
    tabs->setCurrentIndex(0);

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
    EXPECT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Visible) == 4; }));

    // The dialog calls into the client: it goes when the client goes.
    const QPointer<QDialog> left(dialog);
    delete client;
    EXPECT_TRUE(left.isNull());
}

} // namespace
} // namespace koravel::test
