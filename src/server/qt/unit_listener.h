// The unit's own protocol on TCP: clients connect as they would to a ser2net
// port (tcp://HOST:PORT), and each sees a unit of its own (UnitClients says
// how). No authentication: the protocol has no place for it.
#pragma once

#include "server/unit_clients.h"

#include <QHostAddress>
#include <QObject>

#include <map>
#include <string>

class QTcpServer;
class QTcpSocket;

namespace server {

class Station;

// Unit-protocol clients at once; a further one is closed at once.
constexpr int kMaxUnitClients = 32;
// Bytes waiting to go to one client; a client that reads nothing is dropped
// past this.
constexpr qint64 kMaxUnitClientBacklog = 64 * 1024;

class UnitListener : public QObject {
public:
    explicit UnitListener(Station& station, QObject* parent = nullptr);
    ~UnitListener() override;

    // False with the reason in error when the address cannot be listened on.
    bool Listen(const QHostAddress& address, quint16 port, std::string& error);
    quint16 Port() const;

private:
    void Accept();
    void Read(ClientId id, QTcpSocket* socket);
    void Send(ClientId id, const koravel::Bytes& wire);
    void Drop(ClientId id);

    Station& station_;
    QTcpServer* server_;
    std::map<ClientId, QTcpSocket*> sockets_;
};

} // namespace server
