#include "server/qt/unit_listener.h"

#include "server/qt/station.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace server {

UnitListener::UnitListener(Station& station, QObject* parent)
    : QObject(parent), station_(station), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &UnitListener::Accept);
}

UnitListener::~UnitListener() {
    for (const auto& [id, socket] : sockets_)
        station_.Clients().Remove(id);
}

bool UnitListener::Listen(const QHostAddress& address, quint16 port, std::string& error) {
    if (server_->listen(address, port))
        return true;
    error = server_->errorString().toStdString();
    return false;
}

quint16 UnitListener::Port() const {
    return server_->serverPort();
}

void UnitListener::Accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (static_cast<int>(sockets_.size()) >= kMaxUnitClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const ClientId id = station_.Clients().Add();
        sockets_.emplace(id, socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, id, socket] { Read(id, socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { Drop(id); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, id] { Drop(id); });
    }
}

void UnitListener::Read(ClientId id, QTcpSocket* socket) {
    const QByteArray bytes = socket->readAll();
    const koravel::ByteView view(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                 static_cast<std::size_t>(bytes.size()));
    Effects effects = station_.Clients().Feed(id, view, station_.Now());
    for (const koravel::Bytes& wire : effects.replies)
        Send(id, wire);
    for (const UnitRequest& request : effects.toUnit) {
        // The exchange runs to its end on the wire even if the client goes.
        Station& station = station_;
        station.Submit(request, [&station, self = QPointer<UnitListener>(this),
                                 ticket = request.ticket](const unit::Reply& reply) {
            auto answer = station.Clients().Completed(ticket, reply, station.Now());
            if (answer && self)
                self->Send(answer->client, answer->wire);
        });
    }
}

void UnitListener::Send(ClientId id, const koravel::Bytes& wire) {
    const auto found = sockets_.find(id);
    if (found == sockets_.end())
        return;
    QTcpSocket* socket = found->second;
    if (socket->bytesToWrite() + static_cast<qint64>(wire.size()) > kMaxUnitClientBacklog) {
        // It reads nothing: it may not hold the server's memory.
        Drop(id);
        return;
    }
    socket->write(reinterpret_cast<const char*>(wire.data()), static_cast<qint64>(wire.size()));
}

void UnitListener::Drop(ClientId id) {
    const auto found = sockets_.find(id);
    if (found == sockets_.end())
        return;
    QTcpSocket* socket = found->second;
    sockets_.erase(found);
    station_.Clients().Remove(id);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

} // namespace server
