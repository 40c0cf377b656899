#include "ctl_setup.h"

#include "setup/check.h"
#include "setup/transfer.h"

#include <cstdio>

namespace ctl {

namespace {

std::string BlockName(const setup::BlockSpec& spec) {
    return "block " + std::to_string(spec.block) + " [" + spec.section + "]";
}

int ExitCodeFor(const setup::TransferResult& r) {
    switch (r.outcome) {
    case setup::TransferResult::Outcome::Done:
        return kExitOk;
    case setup::TransferResult::Outcome::BlockFailed:
        return r.status == unit::kNoReply ? kExitNoReply : kExitRefused;
    default:
        return kExitFailed;
    }
}

} // namespace

std::optional<int> ParseFirmware(const std::string& text) {
    unsigned major = 0;
    unsigned minor = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%3u.%3u%c", &major, &minor, &extra) != 2 || major > 255 ||
        minor > 255)
        return std::nullopt;
    return static_cast<int>(major * 256 + minor);
}

int RunSend(Link& link, const std::string& path, bool force) {
    // No poll here: only the reply to the preparing request tells the version.
    setup::TransferHooks hooks;
    hooks.FirmwareChosen = [](int firmware) {
        std::printf("unit firmware %s\n", setup::FirmwareText(firmware).c_str());
    };
    hooks.AskSendAnyway = [force](const setup::SendConcerns& concerns,
                                  const std::function<void(bool)>& answer) {
        PrintLine(setup::DescribeConcerns(concerns));
        answer(force);
    };
    hooks.BlockDone = [](const setup::BlockSpec& spec, const setup::BlockResult& result, int done,
                         int total) {
        std::string what;
        if (result.failed())
            what = result.status == unit::kNoReply
                       ? "FAILED: no reply (the unit may have stored it)"
                       : "FAILED: the unit answered status " + std::to_string(result.status);
        else
            what = result.skipped ? "skipped (no values in the file)" : "written";
        std::printf("%2d/%d %s %s\n", done, total, BlockName(spec).c_str(), what.c_str());
        std::fflush(stdout);
    };
    std::optional<setup::TransferResult> ended;
    setup::Transfer transfer(link.unit);
    transfer.SendFile(path, std::move(hooks),
                      [&ended](const setup::TransferResult& result) { ended = result; });
    link.loop.RunUntil([&ended] { return ended.has_value() || Interrupted(); });
    if (!ended) {
        std::fprintf(stderr, "koravelctl: send interrupted; blocks already written stay in the "
                             "unit\n");
        return kExitFailed;
    }
    const setup::TransferResult& r = *ended;
    if (r.ok()) {
        std::printf("done: %d blocks gone through, %d written\n", r.blocksDone, r.blocksWritten);
        return kExitOk;
    }
    using Outcome = setup::TransferResult::Outcome;
    switch (r.outcome) {
    case Outcome::Declined:
        std::fprintf(stderr, "koravelctl: not sent: the file is not fit as it stands (see "
                             "above; --force sends it all the same)\n");
        break;
    case Outcome::ConversionError:
        std::fprintf(stderr, "koravelctl: not sent: %s%s; nothing was written\n",
                     r.stoppedAt ? (BlockName(*r.stoppedAt) + ": ").c_str() : "",
                     r.message.c_str());
        break;
    case Outcome::BlockFailed:
        std::fprintf(stderr, "koravelctl: send failed: %s\n", r.message.c_str());
        if (r.blocksWritten > 0)
            std::fprintf(stderr,
                         "koravelctl: %d blocks before it were written and stay in the unit\n",
                         r.blocksWritten);
        break;
    default:
        std::fprintf(stderr, "koravelctl: %s\n", r.message.c_str());
        break;
    }
    return ExitCodeFor(r);
}

int RunCheck(const std::string& path, std::optional<int> firmware, bool verbose,
             const std::function<Link*()>& openLink) {
    setup::OpenedFile opened = setup::OpenSetupFile(path);
    if (opened.problem == setup::OpenedFile::Problem::Unreadable) {
        std::fprintf(stderr, "koravelctl: %s\n", opened.message.c_str());
        return kExitUsage;
    }
    if (!firmware) {
        Link* link = openLink();
        if (link == nullptr)
            return kExitUsage;
        StatusResult s = QueryStatus(*link);
        if (s.code != 0 || !s.reply) {
            std::fprintf(stderr, "koravelctl: the unit did not report its firmware version; "
                                 "give it with --firmware X.Y\n");
            return s.code == unit::kNoReply ? kExitNoReply : kExitFailed;
        }
        firmware = s.reply->FirmwareVersion();
    }
    // A file with no set-up data still gets its stray keys reported.
    const ini::Profile file = opened.file ? *opened.file : [&] {
        std::string error;
        return ini::Profile::Load(path, error).value_or(ini::Profile{});
    }();
    const setup::CheckReport report = setup::CheckSetupFile(file, *firmware);
    std::printf("firmware %s: %s layouts\n", setup::FirmwareText(*firmware).c_str(),
                *firmware >= setup::kNewLayoutFirmware ? "new" : "old");
    int built = 0;
    int skipped = 0;
    int notBuilt = 0;
    for (const setup::BuiltBlock& b : report.blocks) {
        if (b.skipped) {
            ++skipped;
            if (verbose)
                std::printf("%s skipped: no values in the file\n", BlockName(b.spec).c_str());
        } else if (b.conversionError) {
            ++notBuilt; // always told: the block would not be sent
            std::printf("%s not built: %s\n", BlockName(b.spec).c_str(),
                        b.conversionError->c_str());
        } else {
            ++built;
            if (verbose)
                std::printf("%s %zu bytes: %s\n", BlockName(b.spec).c_str(), b.argument.size(),
                            koravel::HexSpaced(b.argument).c_str());
        }
    }
    std::printf("%zu sections in the file; %zu blocks: %d built, %d skipped (no values), %d not "
                "built\n",
                file.Sections().size(), report.blocks.size(), built, skipped, notBuilt);
    const auto diagnostics = report.Diagnostics();
    for (const setup::Diagnostic& d : diagnostics)
        std::printf("%s\n", setup::Describe(d).c_str());
    // Its unread keys are among the findings; say what they mean for a send.
    const setup::FamilyMismatch mismatch = setup::FindOtherFamilyKeys(file, *firmware);
    if (mismatch.found())
        std::printf("%s\n", setup::DescribeMismatch(mismatch).c_str());
    if (setup::FindSendConcerns(file, *firmware, report.blocks).any())
        std::printf("send asks before it sends this file (koravelctl send: --force)\n");
    if (!report.holdsSetupData)
        std::printf("the file holds no set-up data\n");
    if (report.Clean()) {
        std::printf("nothing to report\n");
        return kExitOk;
    }
    std::printf("%zu finding%s\n", diagnostics.size(), diagnostics.size() == 1 ? "" : "s");
    return 1;
}

} // namespace ctl
