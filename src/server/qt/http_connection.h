// One HTTP connection of the station server: reads its requests one at a
// time, lets in who may, and writes the responses in order.
#pragma once

#include "server/http_request.h"
#include "server/qt/api.h"

#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace server {

class HttpServer;

class HttpConnection : public QObject {
public:
    HttpConnection(QTcpSocket* socket, HttpServer& server);
    ~HttpConnection() override;

private:
    void Readable();
    void HeadComplete();
    void RequestComplete();
    void Write(const Response& response, bool keepAlive, bool head);
    void Refuse(int status, const QByteArray& error, const QString& reason);
    void Close();

    QTcpSocket* socket_;
    HttpServer& server_;
    http::RequestParser parser_;
    // Bytes of the head looked at (peeked, not yet read from the socket).
    qint64 peeked_ = 0;
    bool busy_ = false; // a response is awaited
    bool closing_ = false;
    QTimer timeout_;
};

} // namespace server
