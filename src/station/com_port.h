// COM numbers: what port n ("bio<n>") stands for, and opening it as a
// unit's line. The one place that opens a COM number for the window, the
// command-line programs and the server alike.
#pragma once

#include "transport/port.h"

#include <cstdint>
#include <string>

namespace koravel {

// The device path that a port name stands for: ports/com<n> in the config
// folder when that exists, else /dev/ttyS<n-1>. The name is "bio" (compared
// without regard to case) followed by a decimal number; empty otherwise.
std::string ResolvePortPath(const std::string& name);
// What the port opens: the path above, or the link's text when it is a
// network address (tcp://HOST:PORT), which leads nowhere in the file system.
std::string ResolvePortTarget(const std::string& name);

// Opens "bio<number>" on port and sets the unit's line (19200 baud, 8N1, no
// flow control), closing what the port held first. 0 when open; else the
// error (a port that opened but refused its settings is closed again). For a
// name that stands for nothing: ENOENT.
std::int32_t OpenComPort(transport::Port& port, int number);

} // namespace koravel
