// Loopback TCP addresses for tests that play servers and clients on this
// machine.
#pragma once

#include <netinet/in.h>

#include <cstdint>

namespace testing_support {

// 127.0.0.1 at port (0: any free port, for bind).
sockaddr_in LoopbackAddress(std::uint16_t port);

} // namespace testing_support
