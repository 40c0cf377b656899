// koraveld's command line.
#pragma once

#include "server/access.h"

#include <optional>
#include <string>

namespace koraveld {

struct Options {
    enum class Action { Serve, Help, Version, ShowToken };
    Action action = Action::Serve;
    std::optional<int> port; // COM number; koravel.ini's when not given
    server::ListenAddress unitListen{"127.0.0.1", 4540};
    server::ListenAddress httpListen{"127.0.0.1", 8540};
    bool follow = false;
    std::string tlsCert;
    std::string tlsKey;
};

// The options, or nullopt with the reason in error (exit code 2).
std::optional<Options> ParseOptions(int argc, const char* const* argv, std::string& error);

// The --help text.
const char* UsageText();

} // namespace koraveld
