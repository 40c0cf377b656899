// TOmniRigX against a real rigctld (Hamlib's dummy rig) on loopback, changed
// by a real rigctl, stopped, paused and restarted.
#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "cat_test_support.h"
#include "event_recorder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using cattest::EventRecord;
using cattest::WaitUntil;

namespace {

class OmniRigRigctld : public testing::Test {
protected:
    void SetUp() override {
        if (!cattest::HaveRigctld()) {
            GTEST_SKIP() << "rigctld and rigctl (package libhamlib-utils) are not installed";
        }
        port_ = cattest::FreePort();
        ASSERT_NE(port_, 0);
        server_ = std::make_unique<cattest::Rigctld>(port_);
        ASSERT_TRUE(server_->Start()) << "rigctld did not start on port " << port_;
        cattest::WriteIni(
            dir_.path(),
            QStringLiteral("[Rig1]\nModel=2\nPort=%1\n[Rig2]\nModel=0\n").arg(server_->Address()));
    }
    void TearDown() override {
        server_.reset();
        EXPECT_TRUE(TOmniRigX::WaitForWorkers(15000));
    }

    QTemporaryDir dir_;
    quint16 port_ = 0;
    std::unique_ptr<cattest::Rigctld> server_;
};

} // namespace

TEST_F(OmniRigRigctld, FollowsTheRigThroughAnOutageAndARestart) {
    TOmniRigX client(nullptr, dir_.path());
    cattest::EventRecorder events;
    events.Bind(client);
    ASSERT_TRUE(client.Connect()) << client.LastError().toStdString();
    IRigX* rig = client.Rig1();
    ASSERT_NE(rig, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return rig->Status() == cat::kStatusOnLine; }));
    ASSERT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Params, 1) >= 1; }));

    // A frequency set from outside reaches the handler on the main thread.
    int seen = events.Count(EventRecord::Params, 1);
    ASSERT_TRUE(cattest::Rigctl(port_, {"F", "7050000"}));
    ASSERT_TRUE(WaitUntil(
        [&] { return events.Count(EventRecord::Params, 1) > seen && rig->Freq() == 7050000; }));
    EXPECT_TRUE(events.Records().back().params & cat::kParamFreq);

    // A mode change alone is a parameter change too.
    seen = events.Count(EventRecord::Params, 1);
    ASSERT_TRUE(cattest::Rigctl(port_, {"M", "USB", "2400"}));
    ASSERT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Params, 1) > seen; }));
    EXPECT_EQ(events.Records().back().params, cat::kParamMode);
    EXPECT_EQ(rig->Freq(), 7050000);

    // The server goes away: not responding, no frequency, and the handlers
    // hear of both.
    const int statusSeen = events.Count(EventRecord::Status, 1);
    seen = events.Count(EventRecord::Params, 1);
    server_->Kill();
    ASSERT_TRUE(WaitUntil([&] { return rig->Status() == cat::kStatusNotResponding; }));
    EXPECT_FALSE(rig->Freq());
    EXPECT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Status, 1) > statusSeen; }));
    EXPECT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Params, 1) > seen; }));
    // Reconnection attempts fail while it is away; the status stays.
    cattest::PumpFor(2000);
    EXPECT_EQ(rig->Status(), cat::kStatusNotResponding);

    // Back on the same port (a fresh dummy rig): tracking resumes by itself.
    ASSERT_TRUE(server_->Start());
    ASSERT_TRUE(WaitUntil([&] { return rig->Status() == cat::kStatusOnLine; }, 15000));
    seen = events.Count(EventRecord::Params, 1);
    ASSERT_TRUE(cattest::Rigctl(port_, {"F", "14195999"}));
    ASSERT_TRUE(WaitUntil(
        [&] { return events.Count(EventRecord::Params, 1) > seen && rig->Freq() == 14195999; }));
    EXPECT_EQ(events.Count(EventRecord::Params, 2) + events.Count(EventRecord::Status, 2), 0);
    EXPECT_TRUE(events.AllOnMainThreadFromClient());
}

TEST_F(OmniRigRigctld, APausedServerIsNotRespondingAndDestructionDoesNotWaitForIt) {
    auto client = std::make_unique<TOmniRigX>(nullptr, dir_.path());
    cattest::EventRecorder events;
    events.Bind(*client);
    ASSERT_TRUE(client->Connect());
    IRigX* rig = client->Rig1();
    ASSERT_TRUE(WaitUntil([&] { return rig->Status() == cat::kStatusOnLine; }));

    // The server keeps its port but answers nothing: reads time out.
    server_->Pause();
    ASSERT_TRUE(WaitUntil([&] { return rig->Status() == cat::kStatusNotResponding; }, 15000));
    EXPECT_FALSE(rig->Freq());

    // The worker is now blocked in Hamlib (a reconnection that gets no answer).
    client.reset();
    const int after = events.Total();
    cattest::PumpFor(300);
    EXPECT_EQ(events.Total(), after) << "an event reached a destroyed client";
    server_->Resume();
}

TEST_F(OmniRigRigctld, QueuedChangesAreDroppedWhenTheClientIsDestroyed) {
    auto client = std::make_unique<TOmniRigX>(nullptr, dir_.path());
    cattest::EventRecorder events;
    events.Bind(*client);
    ASSERT_TRUE(client->Connect());
    ASSERT_TRUE(WaitUntil([&] { return client->Rig1()->Status() == cat::kStatusOnLine; }));
    // Changes made while the main thread does not run its loop queue up.
    for (const char* hz : {"3550000", "3551000", "3552000"}) {
        ASSERT_TRUE(cattest::Rigctl(port_, {"F", hz}));
    }
    client.reset();
    const int after = events.Total();
    cattest::PumpFor(500);
    EXPECT_EQ(events.Total(), after);
}

TEST_F(OmniRigRigctld, TwoRigsAreReadIndependentlyAndNotifiedUnderTheirOwnNumbers) {
    const quint16 port2 = cattest::FreePort();
    cattest::Rigctld server2(port2);
    ASSERT_TRUE(server2.Start());
    cattest::WriteIni(dir_.path(), QStringLiteral("[Rig1]\nModel=2\nPort=%1\n[Rig2]\nPort=%2\n")
                                       .arg(server_->Address(), server2.Address()));
    TOmniRigX client(nullptr, dir_.path());
    cattest::EventRecorder events;
    events.Bind(client);
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(WaitUntil([&] {
        return client.Rig1()->Status() == cat::kStatusOnLine &&
               client.Rig2()->Status() == cat::kStatusOnLine;
    }));
    ASSERT_TRUE(cattest::Rigctl(port2, {"F", "21300000"}));
    ASSERT_TRUE(WaitUntil([&] { return client.Rig2()->Freq() == 21300000; }));
    ASSERT_TRUE(cattest::Rigctl(port_, {"F", "3550000"}));
    ASSERT_TRUE(WaitUntil([&] { return client.Rig1()->Freq() == 3550000; }));
    EXPECT_EQ(client.Rig2()->Freq(), 21300000);

    // Only rig 2's server goes away: rig 1 stays on line.
    const int rig1Events = events.Count(EventRecord::Status, 1);
    server2.Kill();
    ASSERT_TRUE(WaitUntil([&] { return client.Rig2()->Status() == cat::kStatusNotResponding; }));
    EXPECT_TRUE(WaitUntil([&] { return events.Count(EventRecord::Params, 2) >= 3; }));
    EXPECT_EQ(client.Rig1()->Status(), cat::kStatusOnLine);
    EXPECT_EQ(events.Count(EventRecord::Status, 1), rig1Events);
    EXPECT_TRUE(events.AllOnMainThreadFromClient());
}
