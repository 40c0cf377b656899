#include "ctl_follow_output.h"

#include "ctl_json.h"
#include "ctl_link.h"
#include "protocol/commands.h"
#include "unit/unit.h"

namespace ctl {

namespace {

std::string RigText(int rig) {
    return "rig " + std::to_string(rig) + ": ";
}

} // namespace

void FollowOutput::Following(int rig, const std::string& source,
                             const std::string& settingsPath) const {
    if (json_)
        PrintJson(Stamped()
                      .Add("event", "following")
                      .Add("rig", rig)
                      .Add("source", source)
                      .Add("settings", settingsPath));
    else
        PrintLine("following rig " + std::to_string(rig) + " (" + source + ", " + settingsPath +
                  "); Ctrl-C ends");
}

void FollowOutput::RigStatus(int rig, int status, const std::string& text) const {
    if (json_)
        PrintJson(Stamped()
                      .Add("event", "rig_status")
                      .Add("rig", rig)
                      .Add("status", status)
                      .Add("text", text));
    else
        PrintLine(RigText(rig) + text);
}

void FollowOutput::Tuned(int rig, std::int64_t hz, std::uint32_t khz,
                         const unit::Reply& reply) const {
    std::string result = "done";
    if (reply.status != 0)
        result = reply.superseded                 ? "superseded"
                 : reply.status == unit::kNoReply ? "no reply"
                                                  : "refused";
    if (json_) {
        json::Line line = Stamped()
                              .Add("event", "tune")
                              .Add("rig", rig)
                              .Add("frequency_hz", hz)
                              .Add("frequency_khz", std::int64_t{khz})
                              .Add("result", result);
        if (result == "refused")
            line.Add("status", unsigned{reply.status});
        PrintJson(line);
        return;
    }
    if (result == "superseded")
        result = "superseded by a newer frequency";
    else if (result == "refused")
        result = "refused (status " + std::to_string(reply.status) + ")";
    PrintLine(RigText(rig) + std::to_string(hz) + " Hz -> " + std::to_string(khz) +
              " kHz: " + result);
}

void FollowOutput::OutOfRange(int rig, std::int64_t hz) const {
    if (json_)
        PrintJson(Stamped()
                      .Add("event", "out_of_range")
                      .Add("rig", rig)
                      .Add("frequency_hz", hz)
                      .Add("max_khz", std::int64_t{koravel::kMaxUnitKhz}));
    else
        PrintLine(RigText(rig) + std::to_string(hz) + " Hz: out of the antenna's range (up to " +
                  std::to_string(koravel::kMaxUnitKhz) + " kHz), not sent");
}

void FollowOutput::TxWarning(follow::TxWarning::Change change) const {
    if (json_)
        PrintJson(Stamped()
                      .Add("event", "transmit_warning")
                      .Add("warning", change == follow::TxWarning::Change::Started)
                      .Add("text", follow::ChangeText(change)));
    else
        PrintLine(follow::ChangeText(change));
}

void FollowOutput::Connection(bool connected, const std::string& text) const {
    if (json_)
        PrintJson(Stamped()
                      .Add("event", "connection")
                      .Add("link", connected ? "up" : "down")
                      .Add("text", text));
    else
        PrintLine(text);
}

} // namespace ctl
