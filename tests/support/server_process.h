// The station server (koraveld of the build) as a child process: started on
// any free ports, which it names on its standard error, and stopped with
// SIGTERM (a kill when it does not end) when the object goes.
#pragma once

#include "support/rig_process.h"

#include <string>
#include <vector>

namespace testing_support {

class ServerProcess {
public:
    // Starts koraveld with args plus --unit-listen and --http-listen on
    // host's free ports, and waits until it has said where it listens. False
    // with its output in error when it did not.
    bool Start(const std::vector<std::string>& args, std::string& error,
               const std::string& host = "127.0.0.1");
    // SIGTERM and wait; the exit code (-1 when killed).
    int Stop();

    int unitPort = 0;
    int httpPort = 0;
    // Its standard error so far.
    std::string Output() { return process.Err(); }

    ChildProcess process;
};

// A blocking HTTP/1.1 exchange on a new connection (Connection: close).
struct HttpResult {
    int status = 0; // 0: no response
    std::string head;
    std::string body;
};
HttpResult HttpCall(const std::string& host, int port, const std::string& method,
                    const std::string& target, const std::vector<std::string>& headers = {},
                    const std::string& body = {});

// A connected TCP socket to host:port, or -1.
int ConnectTcp(const std::string& host, int port);

} // namespace testing_support
