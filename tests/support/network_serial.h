// The far side of a network serial port, for tests: the real ser2net (Debian
// package ser2net) serving a device on a free loopback port, and a relay that
// holds every byte back for a while in each direction, as a slow network
// does. POSIX only, no Qt.
#pragma once

#include "support/rig_process.h"

#include "protocol/bytes.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// The ser2net program, on the PATH or in /usr/sbin; empty when not installed.
std::string Ser2netPath();

// ser2net in the foreground (`ser2net -n -d -c FILE`) with one raw TCP
// accepter on 127.0.0.1:port and the device as its serial connector at
// 19200 8N1 (`local`: no modem lines).
//
// Against the simulator's pseudo-terminal it needs no care: ser2net 4.3
// opens the device without TIOCEXCL or lock files, only while a client is
// connected, and puts back the line settings it found when the client
// leaves; the simulator keeps its own end of the slave open, so the
// pseudo-terminal lives through ser2net's closes and restarts.
class Ser2netProcess {
public:
    // configFile: where the YAML configuration is written.
    Ser2netProcess(std::string device, std::uint16_t port, std::string configFile);
    ~Ser2netProcess();
    Ser2netProcess(const Ser2netProcess&) = delete;
    Ser2netProcess& operator=(const Ser2netProcess&) = delete;

    // Starts it and waits until it serves a client (a port still held by a
    // stopped predecessor may take a few tries). The readiness check connects
    // once and leaves again, and waits until ser2net has let it go.
    bool Start();
    // Kills it and waits for its end.
    void Stop();
    std::uint16_t Port() const { return port_; }
    // "tcp://127.0.0.1:<port>".
    std::string Url() const;
    // What it wrote on stderr so far.
    std::string Errors();

private:
    std::string device_;
    std::uint16_t port_;
    std::string configFile_;
    std::optional<ChildProcess> process_;
};

// Connects to the loopback port and waits up to ms for the server to close
// the connection; what it sent before that. nullopt when it does not connect
// or keeps the connection open.
std::optional<std::string> TurnedAwayWith(std::uint16_t port, int ms);

// A TCP relay on a free loopback port to the loopback port upstream that
// holds every byte back delayMs in each direction, and the end of a
// connection too. Each client gets its own connection upstream.
class DelayRelay {
public:
    DelayRelay(std::uint16_t upstream, int delayMs);
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    // Listens and starts relaying on a thread of its own.
    bool Start();
    std::uint16_t Port() const { return port_; }
    std::string Url() const;
    // Bytes relayed so far, both ways.
    std::size_t Relayed() const { return relayed_; }

private:
    void Run();

    std::uint16_t upstream_;
    int delayMs_;
    std::uint16_t port_ = 0;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> relayed_{0};
    std::thread thread_;
};

// A serial server gone wrong, on a free loopback port: it writes start
// bytes (0xF5, which never make a frame) to every client as fast as the
// client takes them, without a pause, and decodes the frames the client
// sends meanwhile.
class FloodingPeer {
public:
    FloodingPeer() = default;
    ~FloodingPeer();
    FloodingPeer(const FloodingPeer&) = delete;
    FloodingPeer& operator=(const FloodingPeer&) = delete;

    bool Start();
    std::string Url() const;
    // Bytes written to clients so far.
    std::size_t Flooded() const { return flooded_; }
    // The content (checksum included) of every frame the clients sent.
    std::vector<koravel::Bytes> Requests() const;

private:
    void Run();

    std::uint16_t port_ = 0;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> flooded_{0};
    mutable std::mutex mutex_;
    std::vector<koravel::Bytes> requests_;
    std::thread thread_;
};

} // namespace testing_support
