// Two rigs of one TOmniRigX on one logger's datagrams, sent to 127.0.0.1
// (unicast, which Linux gives one socket only: the rigs share theirs), one
// rig per radio and then rig 2 on the radio with transmit focus; and
// omnirig.ini's datagram keys refused when wrong.
#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "cat_test_support.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using cattest::WaitUntil;

namespace {

QByteArray RadioInfo(int radio, int tensOfHz, int active, bool transmitting = false) {
    return QStringLiteral("<RadioInfo><RadioNr>%1</RadioNr><Freq>%2</Freq><TXFreq>%2</TXFreq>"
                          "<IsTransmitting>%3</IsTransmitting><ActiveRadioNr>%4</ActiveRadioNr>"
                          "</RadioInfo>")
        .arg(radio)
        .arg(tensOfHz)
        .arg(transmitting ? "True" : "False")
        .arg(active)
        .toUtf8();
}

} // namespace

TEST(DatagramRigs, TwoRigsOnOneLoggerFollowTheirRadiosOrTheFocus) {
    QTemporaryDir dir;
    const quint16 port = cattest::FreePort();
    cattest::WriteIni(dir.path(), QStringLiteral("[Rig1]\nSource=radioinfo\nUdpPort=%1\n"
                                                 "[Rig2]\nSource=RadioInfo\nUdpPort=%1\n")
                                      .arg(port));
    auto client = std::make_unique<TOmniRigX>(nullptr, dir.path());
    ASSERT_TRUE(client->Connect()) << client->LastError().toStdString();
    int rig2Params = 0;
    client->OnParamsChange = [&rig2Params](TOmniRigX*, int rig, int params) {
        if (rig == 2)
            rig2Params |= params;
    };
    EXPECT_EQ(client->Rig1()->Status(), cat::kStatusNotResponding);
    EXPECT_TRUE(client->Rig1()->StatusStr().contains("not heard yet on UDP port"));

    const int logger = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto send = [&](const QByteArray& datagram) {
        ASSERT_EQ(::sendto(logger, datagram.data(), static_cast<std::size_t>(datagram.size()), 0,
                           reinterpret_cast<const sockaddr*>(&to), sizeof to),
                  datagram.size());
    };
    send(RadioInfo(1, 1407400, 1));
    send(RadioInfo(2, 706000, 1, true));
    send("<RadioInfo><RadioNr>2</RadioNr>");
    ASSERT_TRUE(WaitUntil([&] { return client->Rig2()->Freq() == 7060000; }));
    EXPECT_EQ(client->Rig1()->Freq(), 14074000);
    EXPECT_FALSE(client->Rig1()->Tx());
    EXPECT_TRUE(client->Rig2()->Tx());
    EXPECT_TRUE(WaitUntil([&] { return (rig2Params & cat::kParamTx) != 0; }));
    const std::optional<cat::DatagramCounts> counts = client->SourceCounts(2);
    ASSERT_TRUE(counts.has_value());
    EXPECT_EQ(counts->datagrams, 3u); // the logger's socket is shared: rig 2 hears all three
    EXPECT_EQ(counts->malformed, 1u);
    EXPECT_FALSE(counts->lastMalformed.empty());

    // Rig 2 on the radio with transmit focus: it moves with ActiveRadioNr.
    cat::OmniRigSettings settings = client->Settings();
    settings[1].radio = cat::kFocusRadio;
    QString error;
    ASSERT_TRUE(client->ApplySettings(settings, &error)) << error.toStdString();
    EXPECT_TRUE(cattest::ReadIni(dir.path()).contains("Radio=focus"));
    send(RadioInfo(2, 2120000, 1));
    send(RadioInfo(1, 1407400, 1));
    ASSERT_TRUE(WaitUntil([&] { return client->Rig2()->Freq() == 14074000; }));
    send(RadioInfo(2, 2120000, 2));
    EXPECT_TRUE(WaitUntil([&] { return client->Rig2()->Freq() == 21200000; }));
    EXPECT_EQ(client->Rig1()->Freq(), 14074000);

    // Wrong datagram settings are refused with the key named.
    for (const char* bad :
         {"Source=dxcluster", "Source=wsjtx\nMulticast=192.168.1.255", "Source=radioinfo\nRadio=3",
          "Source=wsjtx\nUdpPort=70000", "Source=wsjtx\nNotHeardS=1"}) {
        cattest::WriteIni(dir.path(), QStringLiteral("[Rig1]\n%1\n").arg(bad));
        TOmniRigX other(nullptr, dir.path());
        EXPECT_FALSE(other.Connect()) << bad;
        const QString key = QString::fromLatin1(bad).section('\n', -1).section('=', 0, 0);
        EXPECT_TRUE(other.LastError().contains(key)) << other.LastError().toStdString();
    }
    ::close(logger);
}
