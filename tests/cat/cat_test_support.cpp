#include "cat_test_support.h"

#include "support/loopback.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cattest {

bool WaitUntil(const std::function<bool()>& cond, int ms) {
    QDeadlineTimer deadline(ms);
    while (!cond()) {
        if (deadline.hasExpired()) {
            return cond();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

void PumpFor(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

namespace {

quint16 BoundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool Accepts(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const sockaddr_in address = testing_support::LoopbackAddress(port);
    const bool up = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return up;
}

} // namespace

quint16 FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    const sockaddr_in address = testing_support::LoopbackAddress(0);
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        port = BoundPort(fd);
    }
    ::close(fd);
    return port;
}

SilentServer::SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in address = testing_support::LoopbackAddress(0);
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(fd_, 8) == 0) {
        port_ = BoundPort(fd_);
    }
}

SilentServer::~SilentServer() {
    for (int client : clients_) {
        ::close(client);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool SilentServer::WaitForClient(int ms) {
    return WaitUntil(
        [this] {
            const int client = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (client >= 0) {
                clients_.push_back(client);
            }
            return !clients_.empty();
        },
        ms);
}

void WriteIni(const QString& dir, const QString& text) {
    QFile file(QDir(dir).filePath(QStringLiteral("omnirig.ini")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(text.toUtf8());
    }
}

QString ReadIni(const QString& dir) {
    QFile file(QDir(dir).filePath(QStringLiteral("omnirig.ini")));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

bool HaveRigctld() {
    return !QStandardPaths::findExecutable(QStringLiteral("rigctld")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("rigctl")).isEmpty();
}

Rigctld::Rigctld(quint16 port) : port_(port) {}

Rigctld::~Rigctld() {
    Kill();
}

QString Rigctld::Address() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

bool Rigctld::Start() {
    Kill();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->setStandardOutputFile(QProcess::nullDevice());
    process_->start(QStringLiteral("rigctld"),
                    {QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-T"),
                     QStringLiteral("127.0.0.1"), QStringLiteral("-t"), QString::number(port_)});
    if (!process_->waitForStarted(10000)) {
        return false;
    }
    // Ready once it accepts a connection (a port still in TIME_WAIT from a
    // killed predecessor may delay the bind a little).
    return WaitUntil(
        [this] {
            if (process_->state() != QProcess::Running) {
                return false;
            }
            return Accepts(port_);
        },
        15000);
}

void Rigctld::Kill() {
    if (process_ && process_->state() != QProcess::NotRunning) {
        Resume();
        process_->kill();
        process_->waitForFinished(10000);
    }
    process_.reset();
}

void Rigctld::Pause() {
    if (process_ && process_->processId() > 0) {
        ::kill(static_cast<pid_t>(process_->processId()), SIGSTOP);
    }
}

void Rigctld::Resume() {
    if (process_ && process_->processId() > 0) {
        ::kill(static_cast<pid_t>(process_->processId()), SIGCONT);
    }
}

bool Rigctl(quint16 port, const QStringList& args) {
    QProcess rigctl;
    rigctl.setStandardOutputFile(QProcess::nullDevice());
    rigctl.start(QStringLiteral("rigctl"),
                 QStringList{QStringLiteral("-m"), QStringLiteral("2"), QStringLiteral("-r"),
                             QStringLiteral("127.0.0.1:%1").arg(port)} +
                     args);
    return rigctl.waitForFinished(15000) && rigctl.exitStatus() == QProcess::NormalExit &&
           rigctl.exitCode() == 0;
}

} // namespace cattest
