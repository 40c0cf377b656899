#include "ctl_unit.h"

#include "ctl_json.h"
#include "protocol/commands.h"

#include <cstdio>
#include <functional>
#include <optional>

namespace ctl {

namespace {

// Ticks without an answer before "no reply" is printed: by then no request
// still remembered for its answer has been answered (3.2 s).
constexpr std::int32_t kSilentTicksForNoReply = static_cast<std::int32_t>(unit::kRecentRequests);
// The poll's interval, as the window's.
constexpr int kPollMs = 400;

bool ParseKhz(const std::string& text, std::uint16_t& khz) {
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > koravel::kMaxUnitKhz)
        return false;
    khz = static_cast<std::uint16_t>(value);
    return true;
}

bool ParseDirection(const std::string& text, std::uint8_t& direction) {
    if (const auto named = koravel::DirectionByName(text))
        direction = *named;
    else if (text == "norm" || text == "0")
        direction = koravel::kDirectionNormal;
    else if (text == "reversed" || text == "1")
        direction = koravel::kDirectionReversed;
    else if (text == "bi-dir" || text == "2")
        direction = koravel::kDirectionBidirectional;
    else
        return false;
    return true;
}

// One command on its own: nothing here starts a newer one, so the result is
// the unit's status or kNoReply.
std::uint8_t Command(Link& link, std::uint8_t code, const koravel::Bytes& argument) {
    return unit::Await(link.loop,
                       [&](unit::ReplyHandler done) {
                           link.unit.SendCommand(code, argument, std::move(done));
                       })
        .status;
}

} // namespace

int RunStatus(Link& link, bool json) {
    StatusResult r = QueryStatus(link);
    if (r.code == 0 && r.reply) {
        if (json) {
            json::Line line;
            AddStatus(line, *r.reply);
            PrintJson(line);
        } else {
            std::printf("%s\n", FormatStatus(*r.reply).c_str());
        }
        return kExitOk;
    }
    // A script reading the output learns the outcome there too.
    if (json)
        PrintJson(json::Line().Add("link", r.code == unit::kNoReply ? "no reply" : "refused"));
    if (r.code != 0)
        return ExitCodeFor(r.code, "status");
    std::fprintf(stderr, "koravelctl: status: the reply is too short to decode\n");
    return kExitFailed;
}

std::optional<koravel::Bytes> TuneArgumentFrom(const std::vector<std::string>& args) {
    std::uint16_t khz = 0;
    if (args.empty() || args.size() > 2 || !ParseKhz(args[0], khz)) {
        std::fprintf(stderr, "koravelctl: tune takes a frequency in kHz (0 to 65535) and "
                             "optionally normal, 180 or bidir\n");
        return std::nullopt;
    }
    if (args.size() == 1)
        return koravel::TuneArgument(khz);
    std::uint8_t direction = 0;
    if (!ParseDirection(args[1], direction)) {
        std::fprintf(stderr, "koravelctl: direction '%s' is not normal, 180 or bidir\n",
                     args[1].c_str());
        return std::nullopt;
    }
    return koravel::TuneArgument(khz, direction);
}

std::optional<koravel::Bytes> BandArgumentFrom(const std::vector<std::string>& args) {
    if (args.size() == 1) {
        if (const auto khz = koravel::BandKhzByName(args[0]))
            return koravel::TuneArgument(*khz);
        std::fprintf(stderr, "koravelctl: band '%s' is not one of 40 30 20 17 15 12 10 6\n",
                     args[0].c_str());
        return std::nullopt;
    }
    std::fprintf(stderr, "koravelctl: band takes one of 40 30 20 17 15 12 10 6\n");
    return std::nullopt;
}

int RunTune(Link& link, const koravel::Bytes& argument, const char* what) {
    return ExitCodeFor(Command(link, koravel::kCommandTune, argument), what);
}

int RunRetract(Link& link) {
    return ExitCodeFor(Command(link, koravel::kCommandRetract, koravel::Bytes{}), "retract");
}

int RunWatch(Link& link, bool json) {
    // The window's poll: a status request every 400 ms without waiting, and
    // whatever answers to the recent requests have come in meanwhile.
    std::optional<koravel::StatusReply> last;
    bool answering = true;
    std::int32_t silentTicks = 0;
    ConnectionReport connection(link.unit, link.portNumber);
    std::function<void()> tick = [&] {
        if (json)
            connection.Check([](bool connected, const std::string& text) {
                PrintJson(Stamped().Add("link", connected ? "up" : "down").Add("text", text));
            });
        else
            connection.Check(PrintLine);
        const unit::PollAnswers answers = link.unit.CollectPollAnswers();
        if (answers.answered) {
            silentTicks = 0;
            std::optional<koravel::StatusReply> s;
            if (answers.command == koravel::kCommandStatus)
                s = koravel::DecodeStatusReply(answers.newest);
            if (s) {
                s->sequence = 0; // not part of what the unit reports
                if (!answering || !last || FormatStatus(*last) != FormatStatus(*s)) {
                    if (json) {
                        json::Line line = Stamped();
                        AddStatus(line, *s);
                        PrintJson(line);
                    } else {
                        PrintLine(FormatStatus(*s));
                    }
                }
                last = s;
            }
            answering = true;
        } else if (!answers.otherFrames && ++silentTicks >= kSilentTicksForNoReply && answering) {
            if (json)
                PrintJson(Stamped().Add("link", "no reply"));
            else
                PrintLine("no reply from the unit");
            answering = false;
        }
        link.unit.SendRequest(koravel::kCommandStatus, {});
        link.unit.After(kPollMs, tick);
    };
    tick();
    link.loop.RunUntil(Interrupted);
    return kExitOk;
}

} // namespace ctl
