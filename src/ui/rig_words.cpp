#include "ui/rig_words.h"

#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "ui/koravelu.h"

namespace koravel {

namespace {

IRigX* RigOf(TOmniRigX& client, int rigNumber) {
    return rigNumber == 1 ? client.Rig1() : client.Rig2();
}

// A rig's status alone; a port that is not available is named, and for
// Hamlib's network model the rigctld that should listen there.
QString StatusWords(int status, const cat::RigSettings& settings) {
    switch (status) {
    case cat::kStatusNotConfigured:
        return TfmMain::tr("not configured");
    case cat::kStatusDisabled:
        return TfmMain::tr("disabled");
    case cat::kStatusPortBusy: {
        const QString port =
            settings.port.isEmpty() ? TfmMain::tr("(Hamlib's default)") : settings.port;
        if (settings.model == cat::kNetRigctlModel)
            return TfmMain::tr("port %1 not available: rigctld should listen there").arg(port);
        return TfmMain::tr("port %1 not available").arg(port);
    }
    case cat::kStatusNotResponding:
        return TfmMain::tr("not responding");
    case cat::kStatusOnLine:
        return TfmMain::tr("on line");
    default:
        return TfmMain::tr("status %1").arg(status);
    }
}

} // namespace

QString RigStatusWords(TOmniRigX& client, int rigNumber) {
    const IRigX* rig = RigOf(client, rigNumber);
    if (rig == nullptr)
        return TfmMain::tr("CAT back end not connected");
    const int status = rig->Status();
    // A rig followed from datagrams that went quiet: for how long.
    if (const std::optional<cat::DatagramSilence> silence = client.SourceSilence(rigNumber);
        silence && status == cat::kStatusNotResponding) {
        return silence->everHeard
                   ? TfmMain::tr("not heard for %1 s").arg(silence->seconds)
                   : TfmMain::tr("not heard yet on UDP port %1").arg(silence->udpPort);
    }
    return StatusWords(status, client.Settings()[static_cast<std::size_t>(rigNumber - 1)]);
}

QString RigStatusWithReason(TOmniRigX& client, int rigNumber) {
    QString text = RigStatusWords(client, rigNumber);
    const IRigX* rig = RigOf(client, rigNumber);
    // A datagram rig's reasons are worded above; Hamlib's are its own.
    if (rig != nullptr && !client.SourceCounts(rigNumber)) {
        if (const std::string reason = rig->Reason(); !reason.empty())
            text += QStringLiteral(" (%1)").arg(QString::fromStdString(reason));
    }
    return text;
}

QString RigSourceNotes(const TOmniRigX& client, int rigNumber) {
    const std::optional<cat::DatagramCounts> counts = client.SourceCounts(rigNumber);
    if (!counts)
        return {};
    QString text =
        TfmMain::tr("%1 on UDP port %2: %n datagram(s)", "", static_cast<int>(counts->datagrams))
            .arg(counts->wsjtx ? QStringLiteral("WSJT-X") : QStringLiteral("RadioInfo"))
            .arg(counts->udpPort);
    if (counts->malformed > 0) {
        text += TfmMain::tr(", %n malformed and dropped (last: %1)", "",
                            static_cast<int>(counts->malformed))
                    .arg(QString::fromStdString(counts->lastMalformed));
    }
    if (!counts->receiveError.empty())
        text += QStringLiteral("; ") + QString::fromLocal8Bit(counts->receiveError);
    return text;
}

} // namespace koravel
