#include "ctl_json.h"

#include "ctl_link.h"
#include "protocol/bands.h"

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
        .Add("frequency_khz", unsigned{s.freqKhz});
    // The band button's band that holds the frequency, as the server says it.
    if (const int band = koravel::BandMetersFor(s.freqKhz); band != 0)
        line.Add("band", std::to_string(band));
    else
        line.AddNull("band");
    line.Add("direction", DirectionName(s.direction))
        .Add("moving", s.moving != 0)
        .Add("retracted", s.freqKhz == 0)
        .Add("flags", unsigned{s.flags});
}

void PrintJson(const json::Line& line) {
    PrintLine(line.Text());
}

} // namespace ctl
