// The unit's state as the API gives it (GET /api/state, and every message on
// the events socket). The fields are documented in koraveld(1).
#pragma once

#include "server/qt/station.h"

#include <QByteArray>
#include <QJsonObject>

namespace server {

QJsonObject StateJson(const StationState& state);
QByteArray StateText(const StationState& state);

} // namespace server
