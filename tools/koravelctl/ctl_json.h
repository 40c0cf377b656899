// koravelctl --json: one JSON object per line on standard output. Lines of
// the commands that keep running (watch, follow) begin with "time", the
// moment the line was made in RFC 3339 UTC with milliseconds. The names are
// those of the station server's JSON where both say the same thing; the
// manual page lists them all.
#pragma once

#include "protocol/status_reply.h"
#include "json/json_line.h"

#include <string>

namespace ctl {

// A line with "time" set to now.
json::Line Stamped();

// The unit's status: "link": "up", "firmware": "1.13", "frequency_khz",
// "band" ("20", or null outside the bands), "direction" (normal, 180, bidir), "moving", "retracted"
// (the frequency the unit reports is 0), "flags".
void AddStatus(json::Line& line, const koravel::StatusReply& s);

// Prints the line and flushes at once.
void PrintJson(const json::Line& line);

} // namespace ctl
