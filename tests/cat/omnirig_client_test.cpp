// TOmniRigX with in-process rigs: Hamlib's dummy rig, ports where nothing
// listens or nobody answers, and bad settings files.
#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "cat_test_support.h"
#include "event_recorder.h"

#include <QTemporaryDir>

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

    // No window gave the client a dialog (as in koravelctl): showing it fails
    // and says why; hiding what was never shown is no error.
    EXPECT_FALSE(client.SetDialogVisible(true));
    EXPECT_TRUE(client.LastError().contains("no window")) << client.LastError().toStdString();
    EXPECT_FALSE(client.DialogVisible());
    EXPECT_TRUE(client.SetDialogVisible(false));
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
