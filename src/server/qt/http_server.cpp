#include "server/qt/http_server.h"

#include "server/qt/api.h"
#include "server/qt/events.h"
#include "server/qt/http_connection.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace server {

HttpServer::HttpServer(Station& station, HttpConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)), api_(new Api(station)),
      events_(new EventHub(station, this)) {}

HttpServer::~HttpServer() {
    // The connections go first: they tell this object when they close.
    while (!connections_.empty())
        delete *connections_.begin();
    delete api_;
}

bool HttpServer::Listen(std::string& error) {
    server_ = NewListeningServer(config_.tls ? &*config_.tls : nullptr, this, error);
    if (server_ == nullptr)
        return false;
    connect(server_, &QTcpServer::pendingConnectionAvailable, this, &HttpServer::Accept);
    if (!server_->listen(config_.address, config_.port)) {
        error = server_->errorString().toStdString();
        return false;
    }
    return true;
}

quint16 HttpServer::Port() const {
    return server_ != nullptr ? server_->serverPort() : 0;
}

void HttpServer::Accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (static_cast<int>(connections_.size()) >= kMaxHttpConnections) {
            const QByteArray body = R"({"error":"busy","reason":"too many connections"})";
            socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
                          "Connection: close\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connections_.insert(new HttpConnection(socket, *this));
    }
}

} // namespace server
