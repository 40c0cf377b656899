#include "server/qt/events.h"

#include "server/qt/state_json.h"
#include "server/qt/station.h"

#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>

namespace server {

namespace {

// The page sends nothing that needs more.
constexpr quint64 kMaxIncoming = 4096;
constexpr int kHandshakeMs = 10000;

} // namespace

EventHub::EventHub(Station& station, QObject* parent)
    : QObject(parent), station_(station),
      server_(
          new QWebSocketServer(QStringLiteral("koraveld"), QWebSocketServer::NonSecureMode, this)) {
    server_->setHandshakeTimeout(kHandshakeMs);
    server_->setMaxPendingConnections(kMaxEventClients);
    connect(server_, &QWebSocketServer::newConnection, this, &EventHub::Joined);
    station_.OnChange([this] { Broadcast(); });
}

EventHub::~EventHub() {
    for (QWebSocket* client : clients_) {
        client->disconnect(this);
        client->abort();
    }
}

bool EventHub::Full() const {
    return static_cast<int>(clients_.size()) >= kMaxEventClients;
}

void EventHub::Accept(QTcpSocket* socket) {
    // Handshakes that never finish end with the server's time-out.
    server_->handleConnection(socket);
}

void EventHub::Joined() {
    while (QWebSocket* client = server_->nextPendingConnection()) {
        client->setParent(this);
        client->setMaxAllowedIncomingFrameSize(kMaxIncoming);
        client->setMaxAllowedIncomingMessageSize(kMaxIncoming);
        clients_.push_back(client);
        connect(client, &QWebSocket::disconnected, this, [this, client] { Drop(client); });
        client->sendTextMessage(QString::fromUtf8(StateText(station_.State())));
    }
}

void EventHub::Broadcast() {
    if (clients_.empty())
        return;
    const QString text = QString::fromUtf8(StateText(station_.State()));
    const std::vector<QWebSocket*> clients = clients_;
    for (QWebSocket* client : clients) {
        if (client->bytesToWrite() > kMaxEventBacklog) {
            Drop(client);
            continue;
        }
        client->sendTextMessage(text);
    }
}

void EventHub::Drop(QWebSocket* client) {
    const auto found = std::find(clients_.begin(), clients_.end(), client);
    if (found == clients_.end())
        return;
    clients_.erase(found);
    client->disconnect(this);
    client->abort();
    client->deleteLater();
}

} // namespace server
