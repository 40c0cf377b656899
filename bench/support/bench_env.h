// What every benchmark that talks to a unit sets up: a config folder of its
// own and the window's way of waiting (a 50 ms tick from the real clock, the
// exchange's passes waiting on the port).
#pragma once

#include "unit/exchange.h"

#include <chrono>
#include <cstdlib>
#include <string>

namespace bench_support {

// A fresh folder under /tmp, set as KORAVEL_CONFIG_DIR.
inline std::string MakeConfigDir() {
    char tmpl[] = "/tmp/koravel-bench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    setenv("KORAVEL_CONFIG_DIR", dir.c_str(), 1);
    return dir;
}

// The exchange back at its start values, waiting as the window does.
inline void InstallRealTimeHooks() {
    using Clock = std::chrono::steady_clock;
    static Clock::time_point lastTick;
    lastTick = Clock::now();
    exchange::ResetExchange();
    exchange::ExchangeHooks = {};
    exchange::ExchangeHooks.ProcessMessages = [] {
        while (Clock::now() - lastTick >= std::chrono::milliseconds(exchange::kTickMs)) {
            exchange::TimerTick();
            lastTick += std::chrono::milliseconds(exchange::kTickMs);
        }
    };
}

} // namespace bench_support
