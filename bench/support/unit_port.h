// The simulated unit started and the link's port opened on it, as the
// benchmarks that talk to a unit need them.
#pragma once

#include "transport/comm32.h"
#include "sim/simulator.h"

#include <string>

namespace bench_support {

// Starts the unit and opens and configures its port as the window does.
// False with a reason when either fails.
inline bool StartUnitAndOpenPort(sim::Simulator& unit, int port, std::string& error) {
    if (!unit.Start(error))
        return false;
    const std::string name = "bio" + std::to_string(port);
    if (comm32::OpenPort(name) != 0 || comm32::ConfigurePort(19200, 'n', 8, 1, 'N') != 0) {
        error = "port " + std::to_string(port) + " does not open";
        return false;
    }
    return true;
}

} // namespace bench_support
