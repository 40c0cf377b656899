// Helpers of the CAT tests: waiting on conditions while the event loop runs,
// free loopback ports, omnirig.ini files, and rigctld/rigctl as real processes.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QProcess;

namespace cattest {

// Runs the event loop until cond holds or ms pass; returns cond's last value.
bool WaitUntil(const std::function<bool()>& cond, int ms = 10000);
// Runs the event loop for ms (for checks that something does NOT happen).
void PumpFor(int ms);

// A loopback TCP port that was free a moment ago.
quint16 FreePort();

// Writes omnirig.ini in dir with the given text.
void WriteIni(const QString& dir, const QString& text);
QString ReadIni(const QString& dir);

bool HaveRigctld();

// A loopback TCP server that accepts connections and never answers.
class SilentServer {
public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    // 0 when it could not listen.
    quint16 Port() const { return port_; }
    // Accepts a connection, waiting up to ms (running the event loop).
    bool WaitForClient(int ms);

private:
    int fd_ = -1;
    quint16 port_ = 0;
    std::vector<int> clients_;
};

// Hamlib's dummy rig (model 1) served by rigctld on a loopback port.
class Rigctld {
public:
    explicit Rigctld(quint16 port);
    ~Rigctld();
    Rigctld(const Rigctld&) = delete;
    Rigctld& operator=(const Rigctld&) = delete;

    // Starts rigctld and waits until it accepts connections.
    bool Start();
    // Kills it and waits for its end.
    void Kill();
    // SIGSTOP / SIGCONT: the server keeps its port but stops answering.
    void Pause();
    void Resume();
    quint16 Port() const { return port_; }
    QString Address() const;

private:
    quint16 port_;
    std::unique_ptr<QProcess> process_;
};

// Runs `rigctl -m 2 -r 127.0.0.1:port args...`; true when it exits with 0.
bool Rigctl(quint16 port, const QStringList& args);

} // namespace cattest
