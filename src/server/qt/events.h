// The events socket (GET /api/events): WebSocket clients that get the
// unit's state as JSON at once and then on every change, as soon as the
// server knows it. A client whose unsent messages pile up (it reads
// nothing) is dropped: it cannot hold the server's memory or loop.
#pragma once

#include <QObject>

#include <vector>

class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

namespace server {

class Station;

constexpr int kMaxEventClients = 128;
// Unsent bytes one events client may have waiting.
constexpr qint64 kMaxEventBacklog = 256 * 1024;

class EventHub : public QObject {
public:
    explicit EventHub(Station& station, QObject* parent = nullptr);
    ~EventHub() override;

    bool Full() const;
    // A connection whose unread bytes are a WebSocket handshake for
    // /api/events, already let in; the hub owns it from now on.
    void Accept(QTcpSocket* socket);
    int Count() const { return static_cast<int>(clients_.size()); }

private:
    void Joined();
    void Broadcast();
    void Drop(QWebSocket* client);

    Station& station_;
    QWebSocketServer* server_;
    std::vector<QWebSocket*> clients_;
};

} // namespace server
