// The simulator on a real pseudo-terminal, reached through the program's own
// link code: the port is opened by its COM number through the ports folder of
// a temporary config folder, and requests go through a unit's Transact, driven
// by a poll(2) loop on the real clock.
#pragma once

#include "protocol/bytes.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "protocol/status_reply.h"
#include "sim/simulator.h"
#include "support/pty_port.h"
#include "unit/poll_loop.h"
#include "unit/unit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace simtest {

using koravel::Bytes;
using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

constexpr int kPort = 4;
// Time-out per attempt where the test is not about time-outs: generous, so a
// loaded machine cannot make a reply late.
constexpr int kRoomyTimeoutMs = 2000;

class SimOverLink : public ::testing::Test {
protected:
    void TearDown() override;

    // Options for a quick unit: unpaced, short motion.
    static sim::Options Quick();
    // Starts the simulator and opens its port through the link.
    void Start(const sim::Options& options);
    void OpenPort();

    // Transact with the reply flag; the status, the payload in lastPayload.
    std::uint8_t Ask(std::uint8_t command, const Bytes& argument = {}, int attempts = 4,
                     int timeoutMs = kRoomyTimeoutMs);
    // A request written as it is, no exchange waiting for it.
    void SendFrame(const Bytes& content) { unit.Port().Write(frame::Encode(content)); }
    // A status request through Transact; the decoded reply.
    std::optional<koravel::StatusReply> Status();
    // Asks for the status until the unit reports freq and stands still.
    bool WaitUntilAt(std::uint16_t khz, std::uint8_t direction);

    // Reads what the port holds into a receiver until a frame ends (intact
    // or not) or the wait runs out.
    std::optional<frame::Feed> ReadFrame(frame::Receiver& receiver,
                                         std::size_t* bytesRead = nullptr,
                                         milliseconds wait = milliseconds(5000));

    std::string PortsDir() const { return config.path() + "/ports"; }

    testing_support::TempConfigDir config;
    std::unique_ptr<sim::Simulator> simulator;
    unit::Unit unit;
    unit::PollLoop loop{unit};
    // The payload and checksum of the last reply Ask took.
    Bytes lastPayload;
};

} // namespace simtest
