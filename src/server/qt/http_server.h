// HTTP/1.1 and the events WebSocket on one port. Each connection reads one
// request at a time (http_request.h), asks who may (access.h) and answers
// through the Api; a WebSocket handshake for /api/events goes to the
// EventHub untouched. Bounded: the number of connections (503 beyond), each
// request's size (413/431), a connection's time to send a request, and what
// waits to be written to a client that reads nothing.
#pragma once

#include "server/http_request.h"
#include "server/qt/tls.h"

#include <QHostAddress>
#include <QObject>

#include <optional>
#include <set>
#include <string>

class QTcpServer;

namespace server {

class Api;
class EventHub;
class HttpConnection;
class Station;

constexpr int kMaxHttpConnections = 64;
// A connection that sends no whole request for this long is closed.
constexpr int kRequestTimeoutMs = 30000;
// Response bytes waiting for a client before the connection reads no more.
constexpr qint64 kMaxHttpBacklog = 512 * 1024;

struct HttpConfig {
    QHostAddress address;
    quint16 port = 0;
    // Required on every API request and WebSocket when set (the server
    // listens beyond 127.0.0.1 and ::1).
    std::optional<std::string> token;
    std::optional<TlsFiles> tls;
    http::Limits limits;
};

class HttpServer : public QObject {
public:
    HttpServer(Station& station, HttpConfig config, QObject* parent = nullptr);
    ~HttpServer() override;

    bool Listen(std::string& error);
    quint16 Port() const;

    // For the connections.
    const HttpConfig& Config() const { return config_; }
    Api& TheApi() { return *api_; }
    EventHub& Events() { return *events_; }
    void ConnectionClosed(HttpConnection* connection) { connections_.erase(connection); }

private:
    void Accept();

    HttpConfig config_;
    QTcpServer* server_ = nullptr;
    Api* api_;
    EventHub* events_;
    std::set<HttpConnection*> connections_;
};

} // namespace server
