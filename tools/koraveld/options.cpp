#include "options.h"

#include <cstring>

namespace koraveld {

const char* UsageText() {
    return "Usage: koraveld [OPTION]...\n"
           "The station server: owns one KV-100 control unit's port and shares it with any\n"
           "number of clients: the unit's own protocol on TCP (the window and koravelctl\n"
           "connect as to a ser2net port), an HTTP and WebSocket API, and a web front panel.\n"
           "\n"
           "  --port N                the unit's COM number (default: Serialport of koravel.ini)\n"
           "  --unit-listen HOST:PORT the unit-protocol port (default 127.0.0.1:4540); it has\n"
           "                          no authentication\n"
           "  --http-listen HOST:PORT HTTP, WebSocket and the web page (default 127.0.0.1:8540);\n"
           "                          beyond 127.0.0.1 and ::1 every request needs the token\n"
           "  --follow                follow the rigs chosen in koravel.ini through the CAT\n"
           "                          back end (omnirig.ini), with no window open\n"
           "  --tls-cert FILE         serve HTTPS and WSS with this PEM certificate ...\n"
           "  --tls-key FILE          ... and this PEM key (both or neither)\n"
           "  --show-token            print the access token (made when there is none) and exit\n"
           "  --help                  print this help and exit\n"
           "  --version               print the version and exit\n"
           "\n"
           "Exit codes: 0 ended by a signal, 1 a port or file could not be used, 2 bad usage.\n"
           "See koraveld(1).\n";
}

std::optional<Options> ParseOptions(int argc, const char* const* argv, std::string& error) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string name = arg;
        std::optional<std::string> value;
        if (const std::size_t eq = arg.find('=');
            arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const auto takesValue = [&]() -> std::optional<std::string> {
            if (value)
                return value;
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (name == "--help" || name == "-h") {
            options.action = Options::Action::Help;
        } else if (name == "--version") {
            options.action = Options::Action::Version;
        } else if (name == "--show-token") {
            options.action = Options::Action::ShowToken;
        } else if (name == "--follow") {
            options.follow = true;
        } else if (name == "--port") {
            const auto text = takesValue();
            if (!text)
                return std::nullopt;
            if (text->empty() || text->size() > 3 ||
                text->find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(*text) < 1 || std::stoi(*text) > 255) {
                error = "--port: '" + *text + "' is not a COM number from 1 to 255";
                return std::nullopt;
            }
            options.port = std::stoi(*text);
        } else if (name == "--unit-listen" || name == "--http-listen") {
            const auto text = takesValue();
            if (!text)
                return std::nullopt;
            std::string reason;
            const auto address = server::ParseListenAddress(*text, reason);
            if (!address) {
                error = name + ": '" + *text + "': " + reason;
                return std::nullopt;
            }
            (name == "--unit-listen" ? options.unitListen : options.httpListen) = *address;
        } else if (name == "--tls-cert" || name == "--tls-key") {
            const auto text = takesValue();
            if (!text)
                return std::nullopt;
            if (text->empty()) {
                error = name + " needs a file";
                return std::nullopt;
            }
            (name == "--tls-cert" ? options.tlsCert : options.tlsKey) = *text;
        } else {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
    }
    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return std::nullopt;
    }
    return options;
}

} // namespace koraveld
