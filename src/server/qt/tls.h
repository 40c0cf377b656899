// The listening socket of the HTTP server, plain or with TLS. Qt 6.4 brought
// QSslServer; what depends on the Qt version stays in this file.
#pragma once

#include <QString>

#include <string>

class QObject;
class QTcpServer;

namespace server {

struct TlsFiles {
    QString certificate; // PEM
    QString key;         // PEM, unencrypted
};

// A server that accepts plain TCP, or TLS with the files when tls is given.
// Null, with the reason in error, when a file cannot be read or used.
QTcpServer* NewListeningServer(const TlsFiles* tls, QObject* parent, std::string& error);

} // namespace server
