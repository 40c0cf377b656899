// The set-up commands of koravelctl: send a set-up file to the unit, or check
// one without sending anything.
#pragma once

#include "ctl_link.h"

#include <functional>
#include <optional>
#include <string>

namespace ctl {

// Sends the file's 68 blocks as the window does. Needs an open port. A file
// made for the other firmware family is sent only with force.
int RunSend(Link& link, const std::string& path, bool force);

// Builds every block and reports what would be cut, wrapped, ignored or
// refused, after a short summary (sections, blocks, firmware family); with
// verbose, every block's bytes in hex as well. firmware: major * 256 +
// minor; nullopt asks the unit (its link is then opened through openLink,
// which gives null when the port does not open).
int RunCheck(const std::string& path, std::optional<int> firmware, bool verbose,
             const std::function<Link*()>& openLink);

// "1.13" -> 269.
std::optional<int> ParseFirmware(const std::string& text);

} // namespace ctl
