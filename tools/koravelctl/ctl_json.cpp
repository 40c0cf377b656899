#include "ctl_json.h"

#include "ctl_link.h"

#include <chrono>
#include <cstdio>

namespace ctl {

json::Line Stamped() {
    json::Line line;
    line.Add("time", json::Rfc3339Utc(std::chrono::system_clock::now()));
    return line;
}

void AddStatus(json::Line& line, const koravel::StatusReply& s) {
    line.Add("link", "up")
        .Add("firmware", std::to_string(s.fwMajor) + "." + std::to_string(s.fwMinor))
        .Add("frequency_khz", unsigned{s.freqKhz})
        .Add("direction", DirectionName(s.direction))
        .Add("moving", s.moving != 0)
        .Add("retracted", s.freqKhz == 0)
        .Add("flags", unsigned{s.flags});
}

void PrintJson(const json::Line& line) {
    PrintLine(line.Text());
}

} // namespace ctl
