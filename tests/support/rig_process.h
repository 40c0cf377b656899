// Child processes of a test: a program of the build or of the system whose
// output is collected while it runs, Hamlib's rigctld (the dummy rig) on a
// free loopback port, and rigctl runs against it. POSIX only, no Qt, so
// that tests of any layer can use it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// rigctld and rigctl (Debian package libhamlib-utils) are on the PATH.
bool HaveRigctld();

// A loopback TCP port that was free a moment ago; 0 when none was found.
std::uint16_t FreeLoopbackPort();

// True when something accepts TCP connections on the loopback port.
bool LoopbackAccepts(std::uint16_t port);

class ChildProcess {
public:
    ChildProcess() = default;
    // Kills the process (SIGKILL) when it still runs, and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program (a path, or a name looked up on the PATH) with args and
    // the test's environment; stdout and stderr are collected.
    bool Start(const std::string& program, const std::vector<std::string>& args);
    pid_t Pid() const { return pid_; }
    bool Running();
    // What the process has written so far (reads what is pending, never waits).
    const std::string& Out();
    const std::string& Err();
    void Signal(int signal);
    // Waits up to ms for the end. The exit code; nullopt when it still runs
    // or ended by a signal.
    std::optional<int> Wait(int ms);
    void Kill();

private:
    void Drain();

    pid_t pid_ = -1;
    int status_ = 0;
    bool reaped_ = false;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
};

// Hamlib's dummy rig (model 1) served by rigctld on a loopback port.
// withPtt: the rig keys itself (PTT type RIG), so that `T 1` and `T 0` set
// the PTT that its reads report; without it the PTT cannot be read or set.
class RigctldProcess {
public:
    explicit RigctldProcess(std::uint16_t port, bool withPtt = false)
        : port_(port), withPtt_(withPtt) {}
    // Starts it and waits until it accepts connections (a port still held by
    // a killed predecessor may take a few tries). A first start whose port
    // another program has taken meanwhile moves to a free one: Port() is
    // known once it has started.
    bool Start();
    // Kills it and waits for its end.
    void Stop();
    std::uint16_t Port() const { return port_; }
    std::string Address() const;

private:
    std::uint16_t port_;
    bool withPtt_;
    bool started_ = false; // started once: restarts keep the port
    std::optional<ChildProcess> process_;
};

// Runs `rigctl -m 2 -r 127.0.0.1:<port> args...`; true when it exits with 0.
bool Rigctl(std::uint16_t port, const std::vector<std::string>& args);

} // namespace testing_support
