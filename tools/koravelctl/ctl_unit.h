// The unit commands of koravelctl: status, tune, band, retract, watch.
#pragma once

#include "ctl_link.h"

#include <string>
#include <vector>

namespace ctl {

// Each runs on an open port and returns the process exit code.
int RunStatus(Link& link);
int RunTune(Link& link, const std::vector<std::string>& args);
int RunBand(Link& link, const std::vector<std::string>& args);
int RunRetract(Link& link);
int RunWatch(Link& link);

} // namespace ctl
