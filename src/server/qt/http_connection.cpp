#include "server/qt/http_connection.h"

#include "server/access.h"
#include "server/qt/events.h"
#include "server/qt/http_server.h"

#include <QPointer>
#include <QTcpSocket>

#include <string_view>

namespace server {

namespace {

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 202:
        return "Accepted";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 413:
        return "Content Too Large";
    case 415:
        return "Unsupported Media Type";
    case 422:
        return "Unprocessable Content";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Unknown";
    }
}

std::string_view View(const QByteArray& bytes, qint64 from) {
    return {bytes.constData() + from, static_cast<std::size_t>(bytes.size() - from)};
}

} // namespace

HttpConnection::HttpConnection(QTcpSocket* socket, HttpServer& server)
    : QObject(&server), socket_(socket), server_(server), parser_(server.Config().limits) {
    socket_->setParent(this);
    // Qt reads no more from the system past this: the client waits.
    socket_->setReadBufferSize(static_cast<qint64>(server.Config().limits.maxHead) + 64 * 1024);
    connect(socket_, &QTcpSocket::readyRead, this, &HttpConnection::Readable);
    connect(socket_, &QTcpSocket::bytesWritten, this, &HttpConnection::Readable);
    connect(socket_, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this, [this] {
        socket_->abort();
        deleteLater();
    });
    timeout_.start(kRequestTimeoutMs);
    Readable();
}

HttpConnection::~HttpConnection() {
    server_.ConnectionClosed(this);
}

void HttpConnection::Readable() {
    if (busy_ || closing_ || socket_ == nullptr)
        return;
    if (socket_->bytesToWrite() > kMaxHttpBacklog)
        return; // goes on once the client has read (bytesWritten)
    const auto& limits = server_.Config().limits;
    if (parser_.state() == http::RequestParser::State::Head) {
        // The head is looked at before it is read: a WebSocket handshake
        // must reach the events hub whole.
        const QByteArray peek = socket_->peek(static_cast<qint64>(limits.maxHead));
        if (peek.size() <= peeked_)
            return;
        peeked_ += static_cast<qint64>(parser_.Feed(View(peek, peeked_)));
        if (parser_.state() == http::RequestParser::State::Failed) {
            socket_->read(peeked_);
            return Refuse(parser_.errorStatus(), "bad request",
                          QString::fromStdString(parser_.errorReason()));
        }
        if (parser_.state() == http::RequestParser::State::Head)
            return;
        if (parser_.request().path == "/api/events" && parser_.request().WantsWebSocket())
            return HeadComplete();
        socket_->read(peeked_);
        peeked_ = 0;
    }
    if (parser_.state() == http::RequestParser::State::Body) {
        const QByteArray peek = socket_->peek(static_cast<qint64>(limits.maxBody));
        socket_->read(static_cast<qint64>(parser_.Feed(View(peek, 0))));
        if (parser_.state() != http::RequestParser::State::Done)
            return;
    }
    RequestComplete();
}

void HttpConnection::HeadComplete() {
    const http::Request& request = parser_.request();
    const HttpConfig& config = server_.Config();
    if (config.token && !Authorized(request, *config.token, true)) {
        socket_->read(peeked_);
        return Refuse(401, "unauthorized",
                      QStringLiteral("this server wants its token: ?token=TOKEN or "
                                     "Authorization: Bearer TOKEN (koraveld --show-token)"));
    }
    if (!OriginAllowed(request, config.tls.has_value())) {
        socket_->read(peeked_);
        return Refuse(403, "forbidden",
                      QStringLiteral("a page of another origin may not open the events socket"));
    }
    if (server_.Events().Full()) {
        socket_->read(peeked_);
        return Refuse(503, "busy", QStringLiteral("too many clients on the events socket"));
    }
    // The hub reads the handshake itself.
    timeout_.stop();
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    socket->setParent(&server_.Events());
    server_.Events().Accept(socket);
    deleteLater();
}

void HttpConnection::RequestComplete() {
    timeout_.stop();
    const http::Request request = parser_.TakeRequest();
    const bool keepAlive = request.KeepAlive();
    const bool head = request.method == "HEAD";
    const HttpConfig& config = server_.Config();
    // The page and its pictures hold nothing of the unit: a browser loads
    // them to ask for the token. Everything under /api/ needs it.
    if (config.token && request.path.starts_with("/api/") &&
        !Authorized(request, *config.token, false)) {
        Response r = ErrorResponse(401, "unauthorized",
                                   QStringLiteral("this server wants its token: Authorization: "
                                                  "Bearer TOKEN (koraveld --show-token)"));
        r.headers.append(
            qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Bearer realm=\"koraveld\"")));
        return Write(r, keepAlive, head);
    }
    busy_ = true;
    server_.TheApi().Handle(request, [self = QPointer<HttpConnection>(this), keepAlive,
                                      head](const Response& response) {
        if (self)
            self->Write(response, keepAlive, head);
    });
}

void HttpConnection::Write(const Response& response, bool keepAlive, bool head) {
    if (socket_ == nullptr)
        return;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                     ReasonPhrase(response.status) + "\r\n";
    out += "Content-Type: " + response.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    out += "X-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n";
    if (response.contentType.startsWith("text/html"))
        out += "Content-Security-Policy: default-src 'self'; connect-src 'self'; "
               "frame-ancestors 'none'\r\n";
    for (const auto& [name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (!head)
        out += response.body;
    socket_->write(out);
    busy_ = false;
    parser_.Reset();
    peeked_ = 0;
    if (!keepAlive)
        return Close();
    timeout_.start(kRequestTimeoutMs);
    // A request that came behind this one is read now.
    QMetaObject::invokeMethod(this, &HttpConnection::Readable, Qt::QueuedConnection);
}

void HttpConnection::Refuse(int status, const QByteArray& error, const QString& reason) {
    Write(ErrorResponse(status, error, reason), false, false);
}

void HttpConnection::Close() {
    closing_ = true;
    // A client that never reads its last response lets go of the slot.
    timeout_.start(kRequestTimeoutMs);
    socket_->disconnectFromHost();
    if (socket_->state() == QAbstractSocket::UnconnectedState)
        deleteLater();
}

} // namespace server
