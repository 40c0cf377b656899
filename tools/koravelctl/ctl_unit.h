// The unit commands of koravelctl: status, tune, band, retract, watch.
#pragma once

#include "ctl_link.h"

#include "protocol/bytes.h"

#include <optional>
#include <string>
#include <vector>

namespace ctl {

// The argument of command 3 that tune's or band's words ask for; nullopt,
// with the message printed on stderr, for words that do not. Checked before
// the port is opened.
std::optional<koravel::Bytes> TuneArgumentFrom(const std::vector<std::string>& args);
std::optional<koravel::Bytes> BandArgumentFrom(const std::vector<std::string>& args);

// Each runs on an open port and returns the process exit code. json: one
// JSON object per line (ctl_json.h) instead of text.
int RunStatus(Link& link, bool json);
// Sends command 3 (tune, band) with an argument from above.
int RunTune(Link& link, const koravel::Bytes& argument, const char* what);
int RunRetract(Link& link);
int RunWatch(Link& link, bool json);

} // namespace ctl
