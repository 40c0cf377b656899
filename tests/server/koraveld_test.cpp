// koraveld end to end: the real program between the simulated unit and its
// clients (the unit's protocol on TCP, HTTP, WebSockets, the window).
#include "protocol/commands.h"
#include "protocol/status_reply.h"
#include "setup/layouts.h"
#include "setup/transfer.h"
#include "sim/simulator.h"
#include "station/com_port.h"
#include "station/port_links.h"
#include "support/process.h"
#include "support/pty_port.h"
#include "support/server_process.h"
#include "support/setup_image.h"
#include "support/station_datagrams.h"
#include "unit/poll_loop.h"
#include "unit/unit.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

using koravel::Bytes;
using std::chrono::milliseconds;
using testing_support::HttpCall;
using testing_support::ServerProcess;

namespace {

constexpr int kUnitCom = 1;
// Generous limits: the machine may be loaded.
constexpr int kWaitMs = 20000;

template <typename F> bool WaitFor(F condition, int ms = kWaitMs) {
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(milliseconds(50));
    }
    return condition();
}

// A client of the server's unit port, as the window and koravelctl are one:
// a unit object on a COM number that stands for tcp://127.0.0.1:PORT.
struct Client {
    Client(const std::string& configDir, int com, int port) {
        std::string error;
        EXPECT_TRUE(
            koravel::SetPortLink(configDir, com, "tcp://127.0.0.1:" + std::to_string(port), error))
            << error;
        EXPECT_EQ(koravel::OpenComPort(unit.Port(), com), 0);
        unit.SetExchangeEnabled(true);
    }
    unit::Unit unit;
    unit::PollLoop loop{unit};
};

} // namespace

class Koraveld : public ::testing::Test {
protected:
    void StartSim(std::uint16_t khz = 7050) {
        sim::Options o;
        o.port = kUnitCom;
        o.configDir = dir.path();
        o.pace = false;
        o.unit.startFrequencyKhz = khz;
        o.unit.motionBaseMs = 50;
        simulator = std::make_unique<sim::Simulator>(o);
        std::string error;
        ASSERT_TRUE(simulator->Start(error)) << error;
    }
    void StartServer(const std::string& host = "127.0.0.1") {
        std::string error;
        ASSERT_TRUE(server.Start({"--port", std::to_string(kUnitCom)}, error, host)) << error;
        host_ = host;
    }
    testing_support::HttpResult Get(const std::string& target,
                                    const std::vector<std::string>& headers = {}) {
        return HttpCall(host_, server.httpPort, "GET", target, headers);
    }
    testing_support::HttpResult Post(const std::string& target, const std::string& json,
                                     std::vector<std::string> headers = {}) {
        headers.push_back("Content-Type: application/json");
        return HttpCall(host_, server.httpPort, "POST", target, headers, json);
    }
    // A WebSocket handshake for /api/events; what came back (the state
    // pushed at once included, when it opened).
    std::string OpenEvents(const std::string& token, const std::string& origin) {
        const int fd = testing_support::ConnectTcp(host_, server.httpPort);
        if (fd < 0)
            return {};
        const std::string request =
            "GET /api/events" + (token.empty() ? std::string() : "?token=" + token) +
            " HTTP/1.1\r\nHost: " + host_ + ":" + std::to_string(server.httpPort) +
            "\r\nOrigin: " + origin +
            "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
        std::string reply;
        if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            ssize_t n = 0;
            while (reply.find("frequency_khz") == std::string::npos &&
                   (n = read(fd, buffer, sizeof buffer)) > 0)
                reply.append(buffer, static_cast<std::size_t>(n));
        }
        close(fd);
        return reply;
    }
    bool StateHas(const std::string& text) {
        return Get("/api/state").body.find(text) != std::string::npos;
    }

    testing_support::TempConfigDir dir;
    std::unique_ptr<sim::Simulator> simulator;
    ServerProcess server;
    std::string host_ = "127.0.0.1";
};

// Three unit-protocol clients and the window at once on one unit: each gets
// its own answers, and the line carries one status request per poll tick.
TEST_F(Koraveld, ClientsAndTheWindowShareOneUnit) {
    StartSim();
    StartServer();
    ASSERT_TRUE(WaitFor([&] { return StateHas("\"link\":\"online\""); })) << server.Output();

    // The window on COM8, which stands for the server's unit port.
    std::string error;
    ASSERT_TRUE(koravel::SetPortLink(dir.path(), 8,
                                     "tcp://127.0.0.1:" + std::to_string(server.unitPort), error));
    {
        std::ofstream ini(dir.path() + "/koravel.ini");
        ini << "[General]\nSerialport=8\n";
    }
    const std::string trace = dir.path() + "/window-trace";
    testing_support::ChildProcess window;
    setenv("KORAVEL_TRACE", trace.c_str(), 1);
    const bool started = window.Start(testing_support::BinPath("koravel"), {});
    unsetenv("KORAVEL_TRACE");
    ASSERT_TRUE(started);

    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<Client>(dir.path(), 10 + i, server.unitPort));
        // Sequence bytes apart, so an answer sent to the wrong client shows.
        clients.back()->unit.SetSequenceCounter(20 + 30 * i);
    }
    simulator->ClearRequests();
    const auto start = std::chrono::steady_clock::now();
    int answered[3] = {0, 0, 0};
    for (int round = 0; round < 12; ++round) {
        for (auto& c : clients)
            c->unit.SendRequest(koravel::kCommandStatus, {});
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& c = *clients[i];
            const std::uint8_t sent = c.unit.RecentRequests().back().sequence;
            c.loop.RunUntil([&] { return false; }, 100);
            const unit::PollAnswers answers = c.unit.CollectPollAnswers();
            if (answers.answered) {
                const auto status = koravel::DecodeStatusReply(answers.newest);
                ASSERT_TRUE(status);
                EXPECT_EQ(status->sequence, sent) << "client " << i;
                EXPECT_EQ(status->FirmwareVersion(), 269);
                ++answered[i];
            }
        }
    }
    // Each client's command goes to the unit and is answered to it alone.
    const unit::Reply tuned = unit::Await(clients[1]->loop, [&](unit::ReplyHandler done) {
        clients[1]->unit.SendCommand(koravel::kCommandTune, koravel::TuneArgument(14200),
                                     std::move(done));
    });
    EXPECT_EQ(tuned.status, 0);
    EXPECT_TRUE(WaitFor([&] { return simulator->State().state.frequencyKhz == 14200; }));
    const double ticks =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count() /
        400.0;
    const std::size_t onTheLine = simulator->RequestCount(koravel::kCommandStatus);
    for (int i = 0; i < 3; ++i)
        EXPECT_GE(answered[i], 6) << "client " << i;
    EXPECT_LE(static_cast<double>(onTheLine), ticks + 2) << "the server's poll alone";
    EXPECT_GE(onTheLine, 3u);

    // The window polled through the server and got answers to its own requests.
    EXPECT_TRUE(WaitFor([&] {
        std::ifstream in(trace);
        std::string line;
        int rx = 0;
        while (std::getline(in, line))
            rx += line.starts_with("rx") ? 1 : 0;
        return rx >= 3;
    })) << "the window's trace shows no answers";
    EXPECT_TRUE(window.Running()) << window.Err();
    window.Signal(SIGTERM);
    window.Wait(10000);
    EXPECT_EQ(server.Stop(), 0) << server.Output();
}

// Listening beyond 127.0.0.1, the API wants the token: without it nothing
// reaches the unit.
TEST_F(Koraveld, TokenBeyondLoopback) {
    StartSim();
    StartServer("127.0.0.2");
    ASSERT_TRUE(WaitFor([&] { return simulator->RequestCount(koravel::kCommandStatus) > 0; }));
    const testing_support::ProcessResult shown =
        testing_support::RunProgram(testing_support::BinPath("koraveld"), {"--show-token"});
    ASSERT_EQ(shown.exitCode, 0);
    const std::string token = shown.out.substr(0, shown.out.find('\n'));
    struct stat st {};
    ASSERT_EQ(stat((dir.path() + "/koraveld.token").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    for (const std::string& wrong :
         {std::string(), "Authorization: Bearer " + token + "x", "Authorization: Basic " + token}) {
        std::vector<std::string> headers;
        if (!wrong.empty())
            headers.push_back(wrong);
        const auto refused = Post("/api/band", R"({"band":"20"})", headers);
        EXPECT_EQ(refused.status, 401) << wrong;
        EXPECT_NE(refused.body.find("\"reason\""), std::string::npos);
        EXPECT_EQ(Get("/api/state", headers).status, 401);
        EXPECT_EQ(Get("/api/state?token=" + token, headers).status, 401)
            << "the query carries the token only for a WebSocket";
    }
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(simulator->RequestCount(koravel::kCommandTune), 0u);
    // The page itself loads, to ask for the token.
    EXPECT_EQ(Get("/").status, 200);

    const std::string auth = "Authorization: Bearer " + token;
    EXPECT_EQ(Post("/api/band", R"({"band":"20"})", {auth}).status, 200);
    EXPECT_TRUE(WaitFor([&] { return simulator->State().state.frequencyKhz == 14200; }));
    EXPECT_EQ(Get("/api/state", {auth}).status, 200);

    // The events socket: the token in the query, and no page of another origin.
    const std::string origin = "http://127.0.0.2:" + std::to_string(server.httpPort);
    EXPECT_TRUE(OpenEvents("", origin).starts_with("HTTP/1.1 401"));
    EXPECT_TRUE(OpenEvents(token, "http://evil.example").starts_with("HTTP/1.1 403"));
    const std::string opened = OpenEvents(token, origin);
    EXPECT_TRUE(opened.starts_with("HTTP/1.1 101")) << opened;
    EXPECT_NE(opened.find("\"link\":\"online\""), std::string::npos) << "the state at once";
}

// A unit-protocol client that vanishes in the middle of a set-up transfer
// leaves whole blocks only, and the server going: another client writes next.
TEST_F(Koraveld, ClientDroppedMidTransfer) {
    StartSim();
    StartServer();
    ASSERT_TRUE(WaitFor([&] { return StateHas("\"link\":\"online\""); }));
    const std::string path = testing_support::SetupDataFile("kv100-fw113.koravel");
    {
        auto client = std::make_unique<Client>(dir.path(), 10, server.unitPort);
        setup::Transfer transfer(client->unit);
        setup::TransferHooks hooks;
        int written = 0;
        hooks.BlockDone = [&](const setup::BlockSpec&, const setup::BlockResult&, int done, int) {
            written = done;
        };
        bool ended = false;
        transfer.SendFile(path, std::move(hooks),
                          [&](const setup::TransferResult&) { ended = true; });
        ASSERT_TRUE(client->loop.RunUntil([&] { return written >= 10; }, kWaitMs));
        ASSERT_FALSE(ended);
        // Half of a block's frame, then gone.
        const Bytes wire =
            frame::Encode(Bytes{0x81, koravel::kCommandWriteBlock, 0x40, 0, 1, 2, 3});
        client->unit.Port().Write(Bytes(wire.begin(), wire.begin() + 4));
    }
    EXPECT_TRUE(WaitFor([&] { return StateHas("\"link\":\"online\""); })) << server.Output();
    std::this_thread::sleep_for(milliseconds(300));
    const auto expected = testing_support::ExpectedImage(path, 269);
    const auto written = simulator->Eeprom();
    EXPECT_GE(written.size(), 10u);
    EXPECT_LT(written.size(), 68u);
    for (const auto& [block, bytes] : written)
        EXPECT_EQ(bytes, expected.at(block)) << "block " << block;
    EXPECT_EQ(written.count(0x40), expected.count(0x40) != 0 ? written.count(0x40) : 0u);

    // The writer let go with its connection: the next client's transfer runs.
    Client next(dir.path(), 11, server.unitPort);
    setup::Transfer transfer(next.unit);
    std::optional<setup::TransferResult> result;
    transfer.SendFile(path, {}, [&](const setup::TransferResult& r) { result = r; });
    ASSERT_TRUE(next.loop.RunUntil([&] { return result.has_value(); }, 60000));
    EXPECT_TRUE(result->ok()) << result->message;
    EXPECT_EQ(simulator->Eeprom(), expected);
}

// The unit unplugged: "offline", and silence on the unit port; back by
// itself when the unit returns.
TEST_F(Koraveld, UnitUnpluggedAndBack) {
    StartSim();
    StartServer();
    ASSERT_TRUE(WaitFor([&] { return StateHas("\"link\":\"online\""); }));
    simulator->HangUp();
    EXPECT_TRUE(WaitFor([&] { return StateHas("\"link\":\"offline\""); })) << server.Output();
    Client client(dir.path(), 10, server.unitPort);
    const unit::Reply silent = unit::Await(client.loop, [&](unit::ReplyHandler done) {
        client.unit.Transact(koravel::kCommandStatus, {}, false, 2, 200, std::move(done));
    });
    EXPECT_EQ(silent.status, unit::kNoReply);
    EXPECT_EQ(Post("/api/band", R"({"band":"20"})").status, 503);

    simulator.reset();
    StartSim(21200);
    EXPECT_TRUE(WaitFor([&] { return StateHas("\"frequency_khz\":21200"); })) << server.Output();
    const unit::Reply back = unit::Await(client.loop, [&](unit::ReplyHandler done) {
        client.unit.Transact(koravel::kCommandStatus, {}, false, 2, 500, std::move(done));
    });
    EXPECT_EQ(back.status, 0);
}

// --follow: the rigs selected in the window's settings followed with no
// window open; here rig 1 from a logger's RadioInfo broadcasts.
TEST_F(Koraveld, FollowsTheWindowsRigWithNoWindowOpen) {
    StartSim();
    const std::uint16_t port = testing_support::FreeLoopbackPort();
    {
        std::ofstream(dir.path() + "/omnirig.ini")
            << "[Rig1]\nSource=radioinfo\nUdpPort=" << port << "\n[Rig2]\nModel=0\n";
        std::ofstream(dir.path() + "/koravel.ini") << "[OmniRig]\nRig1=1\nRig2=0\n";
    }
    std::string error;
    ASSERT_TRUE(server.Start({"--port", std::to_string(kUnitCom), "--follow"}, error)) << error;
    ASSERT_TRUE(WaitFor([&] { return StateHas("\"link\":\"online\""); })) << server.Output();

    // The rig is followed once the unit answers: the logger's next datagram
    // (it sends one at least every 10 s; here every half second) tunes it.
    const testing_support::DatagramSender logger;
    EXPECT_TRUE(WaitFor([&] {
        logger.Send("127.255.255.255", port, testing_support::RadioInfo(1, "1407400", false));
        std::this_thread::sleep_for(milliseconds(450));
        return simulator->State().state.frequencyKhz == 14074;
    })) << server.Output();
    EXPECT_TRUE(StateHas("\"frequency_hz\":14074000")) << Get("/api/state").body;
    EXPECT_EQ(server.Stop(), 0) << server.Output();
}
