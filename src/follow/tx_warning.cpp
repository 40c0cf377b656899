#include "follow/tx_warning.h"

namespace follow {

TxWarning::Change TxWarning::Update(bool transmitting, bool moving) {
    const bool warn = transmitting && moving;
    if (warn == warning_)
        return Change::None;
    warning_ = warn;
    if (warn)
        return Change::Started;
    return transmitting ? Change::EndedStopped : Change::EndedNotTransmitting;
}

const char* ChangeText(TxWarning::Change change) {
    switch (change) {
    case TxWarning::Change::Started:
        return "WARNING: transmitting while the elements move";
    case TxWarning::Change::EndedStopped:
        return "transmit warning over: the elements stopped";
    case TxWarning::Change::EndedNotTransmitting:
        return "transmit warning over: the rig is not transmitting";
    case TxWarning::Change::None:
        break;
    }
    return "";
}

} // namespace follow
