// Sending a set-up file to a simulated unit, over arbitrary set-up files.
//
// Input: the text of a set-up file.
// Checked: a set-up transfer (setup::Transfer::Send over a unit) to a
// simulated unit of firmware 0x010C or 0x010D, as the input picks (on a port
// that carries the frames at once, some blocks refused now and then), writes
// nothing when the unit's status replies are lost, nor when a value of any
// block does not convert (naming the first such block), and asks before it
// sends a file with keys that only the other firmware family's layouts
// read, with fields of its blocks missing, or with a block's section given
// twice (nothing written when the answer is no); otherwise it reports
// success exactly when no block fails, and then the unit's EEPROM holds
// exactly the file's blocks as the codec builds them; on failure it names
// the first block that failed, and the EEPROM holds exactly the blocks
// before it. It finishes once and leaves the link idle. Time is virtual: the loop moves
// the link's clock to its next due time whenever the line is quiet.
#include "block_oracle.h"
#include "fake_port.h"
#include "fuzz_check.h"

#include "protocol/frame.h"
#include "setup/check.h"
#include "setup/transfer.h"
#include "sim/unit.h"
#include "unit/unit.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using koravel::Bytes;

bool Reads(const std::vector<setup::LayoutField>& fields, const std::string& key) {
    for (const setup::LayoutField& field : fields)
        if (fuzz::SameName(field.key, key))
            return true;
    return false;
}

// Whether the Factory or User section holds a key that the unit's layout
// does not read and the other family's does.
bool MadeForTheOtherFamily(const ini::Profile& file, int firmware) {
    const setup::LayoutPair mine = setup::LayoutsForFirmware(firmware);
    const setup::LayoutPair other = setup::LayoutsForFirmware(
        firmware >= setup::kNewLayoutFirmware ? 0 : setup::kNewLayoutFirmware);
    const std::string_view sections[] = {"Factory", "User"};
    const std::string_view mineLayouts[] = {mine.factory, mine.user};
    const std::string_view otherLayouts[] = {other.factory, other.user};
    for (std::size_t i = 0; i < 2; ++i) {
        const std::vector<std::string> keys = file.Keys(std::string(sections[i]));
        if (keys.empty())
            continue;
        const std::vector<setup::LayoutField> mineFields = setup::LayoutFields(mineLayouts[i]);
        const std::vector<setup::LayoutField> otherFields = setup::LayoutFields(otherLayouts[i]);
        for (const std::string& key : keys)
            if (!Reads(mineFields, key) && Reads(otherFields, key))
                return true;
    }
    return false;
}

// Whether a block the file writes lacks a field (it would go out as 0), or
// the section of a block is given twice.
bool LacksFieldsOrRepeatsABlock(const ini::Profile& file, int firmware,
                                const std::vector<bool>& withData) {
    const std::vector<setup::BlockSpec>& map = setup::BlockMap(firmware);
    for (std::size_t i = 0; i < map.size(); ++i) {
        if (!withData[i])
            continue;
        const ini::Profile::SectionView values = file.Section(map[i].section);
        for (const setup::LayoutField& field : setup::LayoutFields(map[i].layout))
            if (field.kind != setup::FieldKind::Hidden && !values.Get(field.key))
                return true;
    }
    std::set<std::string> seen;
    for (const std::string& section : file.Sections())
        if (!seen.insert(fuzz::Folded(section)).second && fuzz::BlockIndex(section) >= 0)
            return true;
    return false;
}

// withData: for each block of the map, whether the file holds data for it.
void CheckTransfer(const ini::Profile& file, int firmware, const std::vector<bool>& withData,
                   fuzz::Dice& dice) {
    sim::UnitConfig config;
    config.fwMajor = static_cast<std::uint8_t>(firmware >> 8);
    config.fwMinor = static_cast<std::uint8_t>(firmware & 0xFF);
    sim::Unit unit(config);
    const std::vector<setup::BlockSpec>& map = setup::BlockMap(firmware);
    if (dice.Below(4) == 0) {
        const setup::BlockSpec& refused = map[dice.Below(static_cast<std::uint32_t>(map.size()))];
        unit.RefusedBlocks()[refused.block] = static_cast<std::uint8_t>(1 + dice.Below(255));
    }

    // The unit on the other end of the line answers each frame at once, or
    // now and then never a status request. Time is the link's own clock,
    // which the loop below moves to the moment the link is next due.
    const bool statusLost = dice.Below(8) == 0;
    fuzz::FakePort port;
    unit::Millis now = 3600 * 1000;
    unit::Unit link([&now] { return now; }, fuzz::FakePort::Calls());
    FUZZ_CHECK(link.Port().Open(port.Path()) == 0);
    frame::Receiver unitSide;
    port.OnWrite = [&](koravel::ByteView bytes) {
        for (std::uint8_t b : bytes) {
            if (unitSide.Push(b) != frame::Feed::Frame)
                continue;
            if (statusLost && unitSide.buffer.size() >= 2 && unitSide.buffer[1] == 1)
                continue;
            const std::optional<Bytes> reply = unit.Respond(
                unitSide.buffer, sim::Clock::time_point(std::chrono::milliseconds(now)));
            if (reply) {
                port.Queue(frame::Encode(*reply));
                port.Deliver(port.Pending());
            }
        }
    };
    setup::TransferHooks hooks;
    const bool sendAnyway = dice.Below(2) == 0;
    int asked = 0;
    hooks.AskSendAnyway = [&](const setup::SendConcerns& concerns,
                              const std::function<void(bool)>& answer) {
        FUZZ_CHECK(concerns.family.firmwareVersion == firmware && concerns.any());
        ++asked;
        answer(sendAnyway);
    };

    setup::Transfer transfer(link);
    int finished = 0;
    setup::TransferResult result;
    transfer.Send(file, hooks, [&](const setup::TransferResult& r) {
        ++finished;
        result = r;
    });
    // The event loop: input when the line holds some, else the next due time.
    // Each of the 1 + 68 exchanges takes a reply or at most 4 attempts, and
    // the link's preparation a few timers.
    constexpr int kMostSteps = (1 + setup::kBlockCount) * 8 + 64;
    int steps = 0;
    while (finished == 0) {
        FUZZ_CHECK(++steps < kMostSteps);
        if (port.Waiting() > 0) {
            link.OnInput();
            continue;
        }
        const unit::Millis due = link.NextDue();
        FUZZ_CHECK(due != unit::kNever);
        now = std::max(now, due);
        link.OnTimer();
    }
    FUZZ_CHECK(finished == 1 && !transfer.Running());
    FUZZ_CHECK(link.Idle() && link.NextDue() == unit::kNever);
    if (statusLost) {
        // No poll stands in here: the version is unknown, nothing is written.
        FUZZ_CHECK(result.outcome == setup::TransferResult::Outcome::FirmwareUnknown);
        FUZZ_CHECK(result.message == setup::kFirmwareUnknownMessage);
        FUZZ_CHECK(unit.Eeprom().empty() && unit.BlockWrites() == 0 && asked == 0);
        return;
    }
    FUZZ_CHECK(result.firmwareVersion == firmware);
    // Every block is built before the first is written: a value that does
    // not convert anywhere writes nothing, and asks nothing.
    std::optional<setup::BuiltBlock> bad;
    for (std::size_t i = 0; i < map.size() && !bad; ++i) {
        if (!withData[i])
            continue;
        setup::BuiltBlock b = setup::BuildBlock(file, map[i]);
        if (b.conversionError)
            bad = std::move(b);
    }
    if (bad) {
        FUZZ_CHECK(result.outcome == setup::TransferResult::Outcome::ConversionError);
        FUZZ_CHECK(result.message == *bad->conversionError);
        FUZZ_CHECK(result.stoppedAt && result.stoppedAt->block == bad->spec.block);
        FUZZ_CHECK(result.blocksDone == 0 && asked == 0);
        FUZZ_CHECK(unit.Eeprom().empty() && unit.BlockWrites() == 0);
        return;
    }
    const bool concerns = MadeForTheOtherFamily(file, firmware) ||
                          LacksFieldsOrRepeatsABlock(file, firmware, withData);
    FUZZ_CHECK(asked == (concerns ? 1 : 0));
    if (concerns && !sendAnyway) {
        FUZZ_CHECK(result.outcome == setup::TransferResult::Outcome::Declined);
        FUZZ_CHECK(unit.Eeprom().empty() && unit.BlockWrites() == 0);
        return;
    }

    // What the transfer should have done, block by block, up to the first
    // that fails: each block as the codec builds it for the firmware (checked
    // by the setup_codec target); blocks the file holds no data for are
    // skipped.
    std::map<int, Bytes> image;
    std::size_t failedAt = map.size();
    std::optional<setup::BuiltBlock> failed;
    for (std::size_t i = 0; i < map.size(); ++i) {
        if (!withData[i])
            continue;
        setup::BuiltBlock b = setup::BuildBlock(file, map[i]);
        if (b.skipped)
            continue;
        if (unit.RefusedBlocks().count(b.spec.block) != 0) {
            failedAt = i;
            failed = std::move(b);
            break;
        }
        image[b.spec.block] = Bytes(b.argument.begin() + 2, b.argument.end());
    }
    FUZZ_CHECK(unit.Eeprom() == image);
    FUZZ_CHECK(unit.BlockWrites() == image.size());
    FUZZ_CHECK(result.blocksWritten == static_cast<int>(image.size()));
    FUZZ_CHECK(result.blocksDone == static_cast<int>(failedAt));
    if (!failed) {
        FUZZ_CHECK(result.ok() && !result.stoppedAt);
        return;
    }
    FUZZ_CHECK(!result.ok());
    FUZZ_CHECK(result.stoppedAt && result.stoppedAt->block == failed->spec.block);
    FUZZ_CHECK(result.outcome == setup::TransferResult::Outcome::BlockFailed);
    FUZZ_CHECK(result.status == unit.RefusedBlocks().at(failed->spec.block));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ini::Profile file =
        ini::Profile::FromText(std::string(reinterpret_cast<const char*>(data), size));
    fuzz::Dice dice(fuzz::InputHash(data, size));
    const int firmware = dice.Below(2) == 0 ? 0x010C : 0x010D;
    CheckTransfer(file, firmware, fuzz::BlocksWithData(file), dice);
    return 0;
}
