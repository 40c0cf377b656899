// Sending set-up files to the simulated unit over a real pseudo-terminal.
#include "ini/profile.h"
#include "setup/transfer.h"
#include "sim/simulator.h"
#include "station/com_port.h"
#include "support/pty_port.h"
#include "support/setup_image.h"
#include "unit/poll_loop.h"
#include "unit/unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

using koravel::Bytes;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPort = 4;

std::string DataFile(const std::string& name) {
    return testing_support::SetupDataFile(name);
}

std::string ReadAll(const std::string& path) {
    return testing_support::ReadWholeFile(path);
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// What the unit's EEPROM must hold, from the block tables.
std::map<int, Bytes> ExpectedImage(const std::string& path, int firmware) {
    std::string error;
    auto image = testing_support::ExpectedImage(path, firmware, &error);
    EXPECT_FALSE(image.empty()) << path << ": " << error;
    return image;
}

// ---- The fixture: a simulated unit on ports/com4 and the program's side -----

class Transfer : public ::testing::Test {
protected:
    void TearDown() override {
        link_.reset();
        if (unit_)
            unit_->Stop();
    }

    void StartUnit(std::uint8_t major, std::uint8_t minor, sim::Faults faults = {}) {
        link_.reset();
        if (unit_)
            unit_->Stop();
        sim::Options options;
        options.port = kPort;
        options.configDir = config_.path();
        options.unit.fwMajor = major;
        options.unit.fwMinor = minor;
        options.pace = false;
        options.faults = std::move(faults);
        unit_ = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(unit_->Start(error)) << error;
        link_ = std::make_unique<Link>();
        ASSERT_EQ(koravel::OpenComPort(link_->unit.Port(), kPort), 0);
        log_.clear();
        progress_.clear();
    }

    // The program's side: a unit on the simulator's port, its loop, and the
    // transfer over it.
    struct Link {
        unit::Unit unit;
        unit::PollLoop loop{unit};
        setup::Transfer transfer{unit};
    };

    // Sends the file and runs the loop until the transfer has ended.
    setup::TransferResult Send(const std::string& path, setup::TransferHooks hooks) {
        std::optional<setup::TransferResult> ended;
        link_->transfer.SendFile(path, std::move(hooks),
                                 [&ended](const setup::TransferResult& r) { ended = r; });
        EXPECT_TRUE(link_->loop.RunUntil([&ended] { return ended.has_value(); }, 60000));
        return ended.value_or(setup::TransferResult{});
    }

    setup::TransferHooks Hooks() {
        setup::TransferHooks hooks;
        hooks.AskSendAnyway = [this](const setup::SendConcerns& c,
                                     const std::function<void(bool)>& answer) {
            concerns_.push_back(c);
            answer(true);
        };
        hooks.AppendLog = [this](const std::string& line) { log_.push_back(line); };
        hooks.Starting = [this] { ++starts_; };
        hooks.BlockDone = [this](const setup::BlockSpec& spec, const setup::BlockResult& r,
                                 int done, int total) {
            progress_.push_back({spec.block, done, total, r.outcome});
        };
        return hooks;
    }

    std::string TempFile(const std::string& name, const std::string& text) {
        const std::string path = config_.path() + "/" + name;
        WriteAll(path, text);
        return path;
    }

    struct Progress {
        int block;
        int done;
        int total;
        setup::BlockResult::Outcome outcome;
    };

    testing_support::TempConfigDir config_;
    std::unique_ptr<sim::Simulator> unit_;
    std::unique_ptr<Link> link_;
    std::vector<std::string> log_;
    std::vector<Progress> progress_;
    int starts_ = 0;
    std::vector<setup::SendConcerns> concerns_;
};

std::vector<int> Blocks(const std::map<int, Bytes>& image) {
    std::vector<int> blocks;
    for (const auto& [block, bytes] : image)
        blocks.push_back(block);
    return blocks;
}

} // namespace

TEST_F(Transfer, CompleteFilesReachTheEepromByteForByteOnBothKindsOfUnit) {
    struct Unit {
        std::uint8_t major, minor;
        int firmware;
    };
    for (const char* name : {"kv100-fw112.koravel", "kv100-fw113.koravel"}) {
        for (const Unit u : {Unit{1, 12, 268}, Unit{1, 13, 269}}) {
            SCOPED_TRACE(std::string(name) + " to firmware " + std::to_string(u.firmware));
            const bool otherFamily =
                (std::string(name) == "kv100-fw113.koravel") != (u.minor == 13);
            StartUnit(u.major, u.minor);
            concerns_.clear();
            const auto result = Send(DataFile(name), Hooks());
            ASSERT_TRUE(result.ok()) << result.message;
            EXPECT_EQ(result.firmwareVersion, u.firmware);
            EXPECT_EQ(result.blocksDone, 68);
            EXPECT_EQ(result.blocksWritten, 68);
            EXPECT_EQ(starts_, 1);
            starts_ = 0;
            ASSERT_EQ(concerns_.size(), otherFamily ? 1u : 0u);

            const auto image = unit_->Eeprom();
            EXPECT_EQ(image, ExpectedImage(DataFile(name), u.firmware));
            // One status request to prepare, then one write per block.
            EXPECT_EQ(unit_->RequestCount(1), 1u);
            EXPECT_EQ(unit_->RequestCount(4), 68u);
            EXPECT_EQ(log_, std::vector<std::string>(68, ""));
            ASSERT_EQ(progress_.size(), 68u);
            EXPECT_EQ(progress_.back().done, 68);
            EXPECT_EQ(progress_.back().total, 68);
            EXPECT_EQ(progress_[2].block, 3);
            EXPECT_EQ(progress_[35].block, 37);

            if (std::string(name) == "kv100-fw112.koravel" && u.firmware == 269) {
                // The old file keeps its welcome text in User, which a new unit's
                // User block does not read; the Factory welcome goes out empty.
                ASSERT_EQ(image.at(0).size(), 108u);
                EXPECT_EQ(Bytes(image.at(0).begin() + 51, image.at(0).begin() + 75),
                          Bytes(24, 0x00));
                EXPECT_EQ(image.at(0)[19], 0x00); // min_estensio
                // What the question names: the keys the new layouts do not
                // read, the fields they read that the file does not give.
                EXPECT_EQ(setup::DescribeConcerns(concerns_[0]),
                          "The file was made for units with firmware below 1.13; the unit has "
                          "firmware 1.13.\n"
                          "Ignored (only units with firmware below 1.13 read them): "
                          "max_estensio1 in [Factory]; welcome, civ_mode, civ_brate, civ_proto "
                          "in [User].\n"
                          "Sent as 0 (not in the file; texts as 0x00 bytes): min_estensio, "
                          "max_estensio, max_tpband, max_driver, welcome, eeprom_vers, reser in "
                          "[Factory]; rtx_mode, rtx_commpars, rtx_proto, rtx_addr, rtx_addrT, "
                          "eeprom_vers, reser in [User].");
            }
        }
    }
}

TEST_F(Transfer, ARefusedBlockStopsTheSequenceAndKeepsWhatWentBefore) {
    sim::Faults faults;
    faults.failBlocks = {5};
    StartUnit(1, 13, faults);
    const auto result = Send(DataFile("kv100-fw113.koravel"), Hooks());
    EXPECT_EQ(result.outcome, setup::TransferResult::Outcome::BlockFailed);
    ASSERT_TRUE(result.stoppedAt.has_value());
    EXPECT_EQ(result.stoppedAt->block, 5);
    EXPECT_EQ(result.stoppedAt->section, "Useroffs3");
    EXPECT_NE(result.status, 0);
    EXPECT_EQ(result.blocksDone, 4);

    EXPECT_EQ(Blocks(unit_->Eeprom()), (std::vector<int>{0, 1, 3, 4}));
    const auto requests = unit_->Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(unit_->RequestCount(4), 5u);
    EXPECT_EQ(requests.back()[1], 4); // the last thing sent is block 5's write
    EXPECT_EQ(requests.back()[2], 5);
    EXPECT_EQ(log_.size(), 4u);
    ASSERT_EQ(progress_.size(), 5u);
    EXPECT_EQ(progress_.back().outcome, setup::BlockResult::Outcome::Failed);
    EXPECT_EQ(progress_.back().done, 4);
}

TEST_F(Transfer, SectionsInAnotherOrderAndKeysInAnotherCaseGoOutTheSame) {
    // Reverse the sections; shout the keys; whisper the section names.
    const std::string original = ReadAll(DataFile("kv100-fw113.koravel"));
    std::vector<std::string> chunks;
    std::size_t at = 0;
    while (at < original.size()) {
        std::size_t next = original.find("\r\n[", at);
        next = next == std::string::npos ? original.size() : next + 2;
        chunks.push_back(original.substr(at, next - at));
        at = next;
    }
    ASSERT_EQ(chunks.size(), 68u);
    std::string shuffled;
    for (auto it = chunks.rbegin(); it != chunks.rend(); ++it) {
        std::string chunk = *it;
        const std::size_t close = chunk.find(']');
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            const auto c = static_cast<unsigned char>(chunk[i]);
            const std::size_t eq = chunk.find('=', i);
            const bool inKey = i > close && eq != std::string::npos &&
                               chunk.rfind('\n', i) == chunk.rfind('\n', eq);
            if (i < close)
                chunk[i] = static_cast<char>(std::tolower(c));
            else if (inKey)
                chunk[i] = static_cast<char>(std::toupper(c));
        }
        shuffled += chunk;
    }
    ASSERT_NE(shuffled.find("[factorytune33]\r\nTUNE1="), std::string::npos);
    const std::string path = TempFile("shuffled.koravel", shuffled);

    StartUnit(1, 13);
    const auto result = Send(path, Hooks());
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(unit_->Eeprom(), ExpectedImage(DataFile("kv100-fw113.koravel"), 269));
    EXPECT_EQ(progress_.front().block, 0); // still sent in block order
}

TEST_F(Transfer, ANonIntegerValueInTheLastSectionWritesNothing) {
    std::string text = ReadAll(DataFile("kv100-fw113.koravel"));
    const std::size_t key = text.find("Tune3=", text.find("[FactoryTune33]"));
    const std::size_t end = text.find("\r\n", key);
    text.replace(key, end - key, "Tune3=12a");
    const std::string path = TempFile("bad.koravel", text);

    StartUnit(1, 13);
    const auto result = Send(path, Hooks());
    EXPECT_EQ(result.outcome, setup::TransferResult::Outcome::ConversionError);
    EXPECT_EQ(result.message, "'12a' is not a valid integer value");
    ASSERT_TRUE(result.stoppedAt.has_value());
    EXPECT_EQ(result.stoppedAt->block, 69);
    EXPECT_EQ(result.blocksDone, 0);
    EXPECT_TRUE(unit_->Eeprom().empty());
    EXPECT_EQ(unit_->RequestCount(4), 0u);
    EXPECT_TRUE(concerns_.empty());
}

TEST_F(Transfer, AFileWithSomeSectionsSendsThoseAndSkipsTheRest) {
    const std::string path =
        TempFile("some.koravel", "[Factory]\r\nmot_maxvel=1250\r\nmodel=KV-100\r\n\r\n"
                                 "[User]\r\n\r\n[FactoryTune33]\r\nTune4=-2\r\n");
    StartUnit(1, 12);
    // A second send asked for while the first runs is turned away at once.
    auto hooks = Hooks();
    std::optional<setup::TransferResult> second;
    hooks.BlockStarting = [&](const setup::BlockSpec&, int index, int) {
        if (index == 1)
            link_->transfer.SendFile(path, Hooks(),
                                     [&second](const setup::TransferResult& r) { second = r; });
    };
    const auto result = Send(path, hooks);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->outcome, setup::TransferResult::Outcome::Busy);
    EXPECT_FALSE(link_->transfer.Running());
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(starts_, 1);
    EXPECT_EQ(result.blocksDone, 68);
    EXPECT_EQ(result.blocksWritten, 2);
    const auto image = unit_->Eeprom();
    EXPECT_EQ(Blocks(image), (std::vector<int>{0, 69}));
    EXPECT_EQ(image.at(69), (Bytes{0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF}));
    EXPECT_EQ(log_.size(), 2u);
}

TEST_F(Transfer, FilesThatCannotBeSentPutNothingOnTheLine) {
    StartUnit(1, 13);
    const std::string missing = config_.path() + "/no-such.koravel";
    const std::string folder = config_.path() + "/folder.koravel";
    std::filesystem::create_directory(folder);
    const std::string none = TempFile("none.koravel", "[General]\r\nSerialport=3\r\n"
                                                      "[Useroffs34]\r\noffset1=1\r\n");
    const std::string emptySections = TempFile("empty.koravel", "[Factory]\r\n\r\n[User]\r\n");
    const std::string binary = TempFile("binary.koravel", std::string("\0\xF5\xFA[\0]=\n", 9));

    struct Case {
        std::string path;
        setup::TransferResult::Outcome outcome;
        std::string says;
    };
    using O = setup::TransferResult::Outcome;
    const Case cases[] = {
        {missing, O::Unreadable, "No such file or directory"},
        {folder, O::Unreadable, "directory"},
        {none, O::NoSetupData, "holds no set-up data"},
        {emptySections, O::NoSetupData, "holds no set-up data"},
        {binary, O::NoSetupData, "holds no set-up data"},
    };
    for (const Case& c : cases) {
        const auto result = Send(c.path, Hooks());
        EXPECT_EQ(result.outcome, c.outcome) << c.path;
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_NE(result.message.find(c.path), std::string::npos) << result.message;
    }
    EXPECT_EQ(starts_, 0);
    EXPECT_FALSE(link_->unit.ExchangeEnabled());
    EXPECT_TRUE(log_.empty());

    // The unit is listening: the next request is the first it ever sees.
    link_->unit.SetExchangeEnabled(true);
    EXPECT_EQ(unit::Await(link_->loop,
                          [this](unit::ReplyHandler done) {
                              link_->unit.Transact(1, {}, true, 4, 1000, std::move(done));
                          })
                  .status,
              0);
    const auto requests = unit_->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0][1], 1);
}

// Preparing the link against a port the test plays by hand, on the unit's
// own clock: the settle time, the drain of stale bytes (a pause after each
// lot, a limit on a line that keeps talking), then the status request's three
// attempts of 200 ms; no reply, no firmware version, nothing written.
TEST(PrepareLink, SettlesDrainsStaleBytesAndThenAsksForStatus) {
    testing_support::TempConfigDir config;
    testing_support::PtyPort port(config.path(), 6);
    unit::Millis now = 1000;
    unit::Unit unit([&now] { return now; });
    std::vector<unit::Millis> sends;
    unit.hooks.FrameSent = [&] { sends.push_back(now); };
    ASSERT_EQ(koravel::OpenComPort(unit.Port(), 6), 0);
    setup::Transfer transfer(unit);

    for (const int stale : {5, 1000}) {
        SCOPED_TRACE(stale);
        sends.clear();
        port.Write(Bytes(static_cast<std::size_t>(stale), 0x55));
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (unit.Port().InputCount() < stale && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(unit.Port().InputCount(), stale);

        const unit::Millis start = now;
        std::optional<setup::TransferResult> ended;
        transfer.Send(*setup::OpenSetupFile(DataFile("kv100-fw113.koravel")).file, {},
                      [&ended](const setup::TransferResult& r) { ended = r; });
        EXPECT_TRUE(unit.ExchangeEnabled());
        // Time passes only as the unit asks for it.
        while (!ended && unit.NextDue() != unit::kNever) {
            now = std::max(now, unit.NextDue());
            unit.OnTimer();
        }
        ASSERT_TRUE(ended.has_value());
        EXPECT_EQ(ended->outcome, setup::TransferResult::Outcome::FirmwareUnknown);
        // The settle, and one pause after the stale bytes, unless the drain's
        // limit ended it: the stale bytes beyond it wait at the port.
        const unit::Millis drained = stale < setup::kMaxDrainBytes ? setup::kDrainPauseMs : 0;
        ASSERT_EQ(sends.size(), 3u);
        EXPECT_EQ(sends[0], start + setup::kSettleMs + drained);
        // Each attempt runs out at the tick after its 200 ms.
        for (std::size_t i = 1; i < sends.size(); ++i) {
            EXPECT_GT(sends[i] - sends[i - 1], 200);
            EXPECT_LE(sends[i] - sends[i - 1], 250);
        }
        const Bytes wire = port.ReadAvailable();
        ASSERT_EQ(wire.size(), 15u);
        EXPECT_EQ(wire[0], 0xF5);
        EXPECT_EQ(wire[1] & 0x80, 0);
        EXPECT_EQ(wire[2], 1);
        EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 5),
                  Bytes(wire.begin() + 5, wire.begin() + 10));
        EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 5), Bytes(wire.begin() + 10, wire.end()));
        EXPECT_FALSE(setup::FirmwareFromPreparingReply(unit::Reply{}).has_value());
        unit.DiscardInput(100000);
    }
}
