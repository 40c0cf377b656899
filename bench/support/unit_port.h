// The simulated unit started and a unit object's port opened on it, as the
// benchmarks that talk to a unit need them.
#pragma once

#include "sim/simulator.h"
#include "station/com_port.h"
#include "unit/unit.h"

#include <string>

namespace bench_support {

// Starts the simulated unit and opens COM port on unit as the window does
// (19200 8N1), the exchange enabled. False with a reason when either fails.
inline bool StartUnitAndOpenPort(sim::Simulator& simulator, int port, unit::Unit& unit,
                                 std::string& error) {
    if (!simulator.Start(error))
        return false;
    if (koravel::OpenComPort(unit.Port(), port) != 0) {
        error = "port " + std::to_string(port) + " does not open";
        return false;
    }
    unit.SetExchangeEnabled(true);
    return true;
}

} // namespace bench_support
