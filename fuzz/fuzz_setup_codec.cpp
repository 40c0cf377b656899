// The set-up codec and the transfer over arbitrary set-up files.
//
// Input: the text of a set-up file.
// Checked:
//  - CheckSetupFile for firmware 0x010C (old layouts) and 0x010D (new ones)
//    builds the 68 blocks of the block map in order; each is skipped, or
//    stops on a conversion error, or carries 2 + its layout's size bytes,
//    with every field's bytes and every diagnostic as block_oracle.h works
//    them out; keys of sections that no block reads are reported once per
//    section name; the lines above the first section are reported with
//    their numbers; Clean() and Diagnostics() agree with the parts;
//  - SendSetupFile against a simulated unit of either firmware (on a port
//    that carries the frames at once, some blocks refused now and then)
//    writes nothing when the unit's status replies are lost, and asks
//    before it sends a file with keys that only the other firmware family's
//    layouts read (nothing written when the answer is no); otherwise it
//    reports success exactly when no block fails, and then the unit's EEPROM
//    holds exactly the file's blocks; on failure it names the first block
//    that failed, and the EEPROM holds exactly the blocks before it.
#include "block_oracle.h"
#include "fake_port.h"
#include "fuzz_check.h"

#include "link/exchange.h"
#include "link/frame.h"
#include "setup/check.h"
#include "setup/transfer.h"
#include "sim/unit.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

using koravel::Bytes;

setup::CheckReport CheckReport(const ini::Profile& file, int firmware) {
    setup::CheckReport report = setup::CheckSetupFile(file, firmware);
    const std::vector<setup::BlockSpec> map = setup::BlockMap(firmware);
    FUZZ_CHECK(map.size() == setup::kBlockCount);
    FUZZ_CHECK(report.firmwareVersion == firmware);
    FUZZ_CHECK(report.blocks.size() == map.size());
    bool anyData = false;
    std::size_t diagnostics = 0;
    for (std::size_t i = 0; i < map.size(); ++i) {
        FUZZ_CHECK(report.blocks[i].spec.layout == map[i].layout);
        fuzz::CheckBuiltBlock(file, map[i], report.blocks[i]);
        if (!report.blocks[i].skipped && !report.blocks[i].conversionError)
            FUZZ_CHECK(report.blocks[i].argument.size() ==
                       2 + static_cast<std::size_t>(setup::LayoutSize(map[i].layout)));
        anyData = anyData || !report.blocks[i].skipped;
        diagnostics += report.blocks[i].diagnostics.size();
    }
    FUZZ_CHECK(report.holdsSetupData == anyData);
    FUZZ_CHECK(setup::HoldsSetupData(file) == anyData);

    // Stray keys: those of every section no block reads, first section of a
    // name only, in file order.
    std::vector<std::string> seen;
    std::size_t stray = 0;
    for (const std::string& section : file.Sections()) {
        bool known = false;
        for (const setup::BlockSpec& spec : map)
            known = known || fuzz::SameName(spec.section, section);
        bool repeated = false;
        for (const std::string& s : seen)
            repeated = repeated || fuzz::SameName(s, section);
        if (known || repeated)
            continue;
        seen.push_back(section);
        for (const std::string& key : file.Keys(section)) {
            FUZZ_CHECK(stray < report.strayKeys.size());
            const setup::Diagnostic& d = report.strayKeys[stray++];
            FUZZ_CHECK(d.kind == setup::Diagnostic::Kind::UnreadKey);
            FUZZ_CHECK(d.section == section && d.key == key);
            FUZZ_CHECK(d.line == file.LineOf(section, key) && d.line > 0);
        }
    }
    FUZZ_CHECK(stray == report.strayKeys.size());

    const std::vector<ini::Profile::LooseLine> loose = file.LinesBeforeSections();
    FUZZ_CHECK(report.looseText.size() == loose.size());
    for (std::size_t i = 0; i < loose.size(); ++i) {
        const setup::Diagnostic& d = report.looseText[i];
        FUZZ_CHECK(d.kind == setup::Diagnostic::Kind::TextBeforeSections);
        FUZZ_CHECK(d.line == loose[i].line && d.value == loose[i].text);
    }
    const std::size_t total = loose.size() + diagnostics + stray;
    FUZZ_CHECK(report.Diagnostics().size() == total);
    FUZZ_CHECK(report.Clean() == (anyData && total == 0));
    return report;
}

std::uint32_t Fnv1a(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

bool Reads(std::string_view layout, const std::string& key) {
    for (const setup::LayoutField& field : setup::LayoutFields(layout))
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
    for (const std::string& key : file.Keys("Factory"))
        if (!Reads(mine.factory, key) && Reads(other.factory, key))
            return true;
    for (const std::string& key : file.Keys("User"))
        if (!Reads(mine.user, key) && Reads(other.user, key))
            return true;
    return false;
}

// report: what CheckSetupFile made of file for the unit's firmware.
void CheckTransfer(const ini::Profile& file, const setup::CheckReport& report, fuzz::Dice& dice) {
    sim::UnitConfig config;
    config.fwMajor = static_cast<std::uint8_t>(report.firmwareVersion >> 8);
    config.fwMinor = static_cast<std::uint8_t>(report.firmwareVersion & 0xFF);
    sim::Unit unit(config);
    const int firmware = report.firmwareVersion;
    const std::vector<setup::BlockSpec> map = setup::BlockMap(firmware);
    if (dice.Below(4) == 0) {
        const setup::BlockSpec& refused = map[dice.Below(static_cast<std::uint32_t>(map.size()))];
        unit.RefusedBlocks()[refused.block] = static_cast<std::uint8_t>(1 + dice.Below(255));
    }

    // The unit on the other end of the line answers each frame at once, or
    // now and then never a status request.
    const bool statusLost = dice.Below(8) == 0;
    fuzz::FakePort port;
    frame::Receiver unitSide;
    sim::Clock::time_point now{std::chrono::hours(1)};
    port.OnWrite = [&](koravel::ByteView bytes) {
        for (std::uint8_t b : bytes) {
            if (unitSide.Push(b) != frame::Feed::Frame)
                continue;
            if (statusLost && unitSide.buffer.size() >= 2 && unitSide.buffer[1] == 1)
                continue;
            const std::optional<Bytes> reply = unit.Respond(unitSide.buffer, now);
            if (reply) {
                port.Queue(frame::Encode(*reply));
                port.Deliver(port.Pending());
            }
        }
    };
    exchange::ResetExchange();
    exchange::Trace = nullptr;
    int passes = 0;
    exchange::ExchangeHooks.Sleep = [&](int ms) {
        now += std::chrono::milliseconds(ms);
        if (++passes % 5 == 0)
            exchange::TimerTick();
    };
    setup::TransferHooks hooks;
    const bool sendOtherFamily = dice.Below(2) == 0;
    int asked = 0;
    hooks.SendOtherFamily = [&](const setup::FamilyMismatch& mismatch) {
        FUZZ_CHECK(mismatch.firmwareVersion == firmware && mismatch.found());
        ++asked;
        return sendOtherFamily;
    };

    const setup::TransferResult result = setup::SendSetupFile(file, hooks);
    exchange::ExchangeHooks = {};
    exchange::ResetExchange();
    FUZZ_CHECK(!setup::TransferRunning());
    if (statusLost) {
        // No poll stands in here: the version is unknown, nothing is written.
        FUZZ_CHECK(result.outcome == setup::TransferResult::Outcome::FirmwareUnknown);
        FUZZ_CHECK(result.message == setup::kFirmwareUnknownMessage);
        FUZZ_CHECK(unit.Eeprom().empty() && unit.BlockWrites() == 0 && asked == 0);
        return;
    }
    FUZZ_CHECK(result.firmwareVersion == firmware);
    const bool otherFamily = MadeForTheOtherFamily(file, firmware);
    FUZZ_CHECK(asked == (otherFamily ? 1 : 0));
    if (otherFamily && !sendOtherFamily) {
        FUZZ_CHECK(result.outcome == setup::TransferResult::Outcome::OtherFamily);
        FUZZ_CHECK(unit.Eeprom().empty() && unit.BlockWrites() == 0);
        return;
    }

    // What the transfer should have done, block by block.
    std::map<int, Bytes> image;
    std::size_t failedAt = report.blocks.size();
    for (std::size_t i = 0; i < report.blocks.size(); ++i) {
        const setup::BuiltBlock& b = report.blocks[i];
        if (b.skipped)
            continue;
        const auto refused = unit.RefusedBlocks().find(b.spec.block);
        if (b.conversionError || refused != unit.RefusedBlocks().end()) {
            failedAt = i;
            break;
        }
        image[b.spec.block] = Bytes(b.argument.begin() + 2, b.argument.end());
    }
    FUZZ_CHECK(unit.Eeprom() == image);
    FUZZ_CHECK(unit.BlockWrites() == image.size());
    FUZZ_CHECK(result.blocksWritten == static_cast<int>(image.size()));
    FUZZ_CHECK(result.blocksDone == static_cast<int>(failedAt));
    if (failedAt == report.blocks.size()) {
        FUZZ_CHECK(result.ok() && !result.stoppedAt);
        return;
    }
    const setup::BuiltBlock& failed = report.blocks[failedAt];
    FUZZ_CHECK(!result.ok());
    FUZZ_CHECK(result.stoppedAt && result.stoppedAt->block == failed.spec.block);
    if (failed.conversionError) {
        FUZZ_CHECK(result.outcome == setup::TransferResult::Outcome::ConversionError);
        FUZZ_CHECK(result.message == *failed.conversionError);
    } else {
        FUZZ_CHECK(result.outcome == setup::TransferResult::Outcome::BlockFailed);
        FUZZ_CHECK(result.status == unit.RefusedBlocks().at(failed.spec.block));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ini::Profile file =
        ini::Profile::FromText(std::string(reinterpret_cast<const char*>(data), size));
    const setup::CheckReport old = CheckReport(file, 0x010C);
    const setup::CheckReport current = CheckReport(file, 0x010D);
    fuzz::Dice dice(Fnv1a(data, size));
    CheckTransfer(file, dice.Below(2) == 0 ? old : current, dice);
    return 0;
}
