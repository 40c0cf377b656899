// The unit commands of koravelctl: status, tune, band, retract, watch.
#pragma once

#include <string>
#include <vector>

namespace ctl {

// Each runs on an open port and returns the process exit code.
int RunStatus();
int RunTune(const std::vector<std::string>& args);
int RunBand(const std::vector<std::string>& args);
int RunRetract();
int RunWatch();

} // namespace ctl
