#include "server/qt/state_json.h"

#include "protocol/bands.h"
#include "protocol/status_reply.h"
#include "server/api_values.h"
#include "setup/check.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace server {

QJsonObject StateJson(const StationState& state) {
    QJsonObject o;
    o[QStringLiteral("link")] = QString::fromLatin1(LinkName(state.link));
    o[QStringLiteral("port")] =
        QJsonObject{{QStringLiteral("number"), state.portNumber},
                    {QStringLiteral("target"), QString::fromStdString(state.port)}};
    // What the unit said since its port was opened; null while unknown.
    const QJsonValue none = QJsonValue::Null;
    o[QStringLiteral("firmware")] =
        state.known ? QJsonValue(QString::fromStdString(setup::FirmwareText(state.firmware)))
                    : none;
    o[QStringLiteral("frequency_khz")] = state.known ? QJsonValue(state.khz) : none;
    const int band = koravel::BandMetersFor(state.khz);
    o[QStringLiteral("band")] = state.known && band != 0 ? QJsonValue(QString::number(band)) : none;
    o[QStringLiteral("direction")] =
        state.known ? QJsonValue(QString::fromLatin1(DirectionText(state.direction))) : none;
    o[QStringLiteral("moving")] = state.moving;
    o[QStringLiteral("retracted")] = state.known && state.khz == 0;
    o[QStringLiteral("custom")] = state.known && (state.flags & koravel::kFlagCustom) != 0;
    o[QStringLiteral("transmit_warning")] = state.txWarning;
    QJsonArray rigs;
    for (const RigView& rig : state.rigs) {
        rigs.append(QJsonObject{
            {QStringLiteral("rig"), rig.number},
            {QStringLiteral("status"), QString::fromStdString(rig.status)},
            {QStringLiteral("frequency_hz"),
             rig.hz ? QJsonValue(static_cast<double>(*rig.hz)) : none},
            {QStringLiteral("transmitting"), rig.transmitting},
            {QStringLiteral("out_of_range"), rig.outOfRange},
        });
    }
    o[QStringLiteral("rigs")] = rigs;
    QJsonArray notices;
    for (const std::string& notice : state.notices)
        notices.append(QString::fromStdString(notice));
    o[QStringLiteral("notices")] = notices;
    const TransferView& t = state.transfer;
    o[QStringLiteral("transfer")] = QJsonObject{
        {QStringLiteral("running"), t.running},
        {QStringLiteral("done"), t.done},
        {QStringLiteral("total"), t.total},
        {QStringLiteral("block"), QString::fromStdString(t.block)},
        {QStringLiteral("outcome"),
         t.outcome.empty() ? none : QJsonValue(QString::fromStdString(t.outcome))},
        {QStringLiteral("message"), QString::fromStdString(t.message)},
    };
    return o;
}

QByteArray StateText(const StationState& state) {
    return QJsonDocument(StateJson(state)).toJson(QJsonDocument::Compact);
}

} // namespace server
