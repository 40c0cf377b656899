// What every benchmark that talks to a unit sets up: a config folder of its
// own.
#pragma once

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

} // namespace bench_support
