#include "ui/open_failure_words.h"

#include "transport/network_address.h"
#include "transport/port.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <netdb.h>

namespace koravel {

namespace {

// The translation context of these words.
class Words {
    Q_DECLARE_TR_FUNCTIONS(OpenFailure)
};

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

// The system's own words for an error, as it says them.
QString SystemWords(int error) {
    if (error < 0 && error != transport::kShortWrite)
        return QString::fromLocal8Bit(::gai_strerror(error));
    return error > 0 ? QString::fromLocal8Bit(std::strerror(error)) : Words::tr("write error");
}

QString Quoted(const std::string& text) {
    return text.empty() ? QString() : QStringLiteral(" (\"%1\")").arg(Local(text));
}

QString NetworkFailureWords(const OpenFailure& f, const QString& port) {
    switch (f.kind) {
    case OpenFailureKind::Busy:
        return Words::tr(
                   "%1 does not open: the serial server at %2 says its port is in use by another "
                   "program%3. Close that program, or choose another port.")
            .arg(port, Local(f.address), Quoted(f.serverText));
    case OpenFailureKind::BadAddress:
        return Words::tr(
                   "%1 does not open: a network port is written tcp://HOST:PORT (the link %2).")
            .arg(port, Local(f.link));
    case OpenFailureKind::TurnedAway:
        return Words::tr("%1 does not open: the serial server at %2 turned the connection away%3.")
            .arg(port, Local(f.address), Quoted(f.serverText));
    default:
        return Words::tr("%1 does not open: cannot connect to %2: %3.")
            .arg(port, Local(f.address), NetworkTroubleWords(f.error));
    }
}

} // namespace

QString NetworkTroubleWords(int error) {
    switch (error) {
    case 0:
        return Words::tr("connected");
    case ECONNREFUSED:
        return Words::tr("connection refused (nothing serves that port)");
    case ETIMEDOUT:
        return Words::tr("connection timed out (no answer within 3 s)");
    case EHOSTUNREACH:
        return Words::tr("host unreachable");
    case ENETUNREACH:
        return Words::tr("network unreachable");
    case ECONNRESET:
        return Words::tr("the connection was closed at the far end");
    case EPIPE:
        return Words::tr("the connection was broken");
    case EBUSY:
        return Words::tr("the serial server's port is in use by another program");
    case EREMOTEIO:
        return Words::tr("the serial server turned the connection away");
    case transport::kHostNotFound:
        return Words::tr("host not found");
    case EAI_AGAIN:
        return Words::tr("host not found: the name server does not answer");
    default: {
        QString words = SystemWords(error);
        if (!words.isEmpty())
            words[0] = words[0].toLower();
        return words;
    }
    }
}

QString ConnectionDownWords(int number, const QString& address, int error,
                            const QString& serverText) {
    QString why = NetworkTroubleWords(error);
    if ((error == EBUSY || error == EREMOTEIO) && !serverText.isEmpty())
        why += QStringLiteral(" (\"%1\")").arg(serverText);
    return Words::tr("COM%1 (%2%3): connection lost: %4; trying again every %5 s.")
        .arg(number)
        .arg(QString::fromLatin1(kNetworkScheme), address, why)
        .arg(transport::kReconnectMs / 1000);
}

QString OpenFailureWords(const OpenFailure& f) {
    const QString com = QStringLiteral("COM%1").arg(f.number);
    const QString port = QStringLiteral("%1 (%2)").arg(com, Local(f.device));
    if (f.network)
        return NetworkFailureWords(f, port);
    switch (f.kind) {
    case OpenFailureKind::NoPort:
        return Words::tr("No serial port is chosen (%1).").arg(com);
    case OpenFailureKind::PermissionDenied:
        if (f.group.empty())
            return Words::tr("%1 does not open: permission denied.").arg(port);
        if (f.groupMayUse) {
            return Words::tr(
                       "%1 does not open: permission denied. The device belongs to the group '%2': "
                       "add your user to the group '%2' (sudo usermod -aG %2 $USER) and log in "
                       "again.")
                .arg(port, Local(f.group));
        }
        return Words::tr(
                   "%1 does not open: permission denied. Only its owner '%2' may use it (mode %3); "
                   "ask the computer's administrator.")
            .arg(port, Local(f.owner))
            .arg(f.mode & 07777u, 4, 8, QLatin1Char('0'));
    case OpenFailureKind::Busy:
        return Words::tr(
                   "%1 does not open: it is in use by another program. Close that program, or "
                   "choose another port.")
            .arg(port);
    case OpenFailureKind::NotPluggedIn:
        if (!f.link.empty()) {
            return Words::
                tr("%1 does not open: its device %2 is not plugged in (the link %3 expects it).")
                    .arg(com, Local(f.device), Local(f.link));
        }
        return Words::tr("%1 does not open: there is no such device; it is not plugged in, or this "
                         "computer has no such port.")
            .arg(port);
    case OpenFailureKind::NoHardware:
        return Words::tr("%1 does not open: there is no serial port behind this device.").arg(port);
    case OpenFailureKind::NotSerial:
        return Words::tr("%1 does not open: it is not a serial device.").arg(port);
    case OpenFailureKind::BadAddress:
    case OpenFailureKind::HostNotFound:
    case OpenFailureKind::CannotConnect:
    case OpenFailureKind::TurnedAway:
    case OpenFailureKind::Other:
        break;
    }
    return Words::tr("%1 does not open: %2.").arg(port, SystemWords(f.error));
}

} // namespace koravel
