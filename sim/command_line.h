// The kv100-sim program's command line.
#pragma once

#include "sim/simulator.h"

#include <string>
#include <vector>

namespace sim {

enum class CommandLine {
    Run,     // options filled in
    Help,    // --help: print Usage() and stop
    Version, // --version: print the version and stop
    Error,   // error holds the reason
};

CommandLine ParseCommandLine(const std::vector<std::string>& args, Options& options,
                             std::string& error);
std::string Usage();

} // namespace sim
