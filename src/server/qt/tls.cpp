#include "server/qt/tls.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>

namespace server {

namespace {

constexpr int kTlsHandshakeMs = 10000;

bool ReadFile(const QString& path, QByteArray& data, std::string& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    data = file.readAll();
    return true;
}

} // namespace

QTcpServer* NewListeningServer(const TlsFiles* tls, QObject* parent, std::string& error) {
    if (tls == nullptr)
        return new QTcpServer(parent);
    if (!QSslSocket::supportsSsl()) {
        error = "this Qt has no TLS back end";
        return nullptr;
    }
    QByteArray certData;
    QByteArray keyData;
    if (!ReadFile(tls->certificate, certData, error) || !ReadFile(tls->key, keyData, error))
        return nullptr;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certData, QSsl::Pem);
    if (chain.isEmpty()) {
        error = tls->certificate.toStdString() + " holds no PEM certificate";
        return nullptr;
    }
    QSslKey key(keyData, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyData, QSsl::Ec, QSsl::Pem);
    if (key.isNull()) {
        error = tls->key.toStdString() + " holds no unencrypted PEM key (RSA or EC)";
        return nullptr;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto* server = new QSslServer(parent);
    server->setSslConfiguration(config);
    server->setHandshakeTimeout(kTlsHandshakeMs);
    return server;
}

} // namespace server
