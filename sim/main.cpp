// kv100-sim: the simulated control unit as a program. Runs until SIGINT,
// SIGTERM or SIGHUP, then removes its port link.
#include "sim/command_line.h"
#include "sim/simulator.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char** argv) {
    sim::Options options;
    std::string error;
    const std::vector<std::string> args(argv + 1, argv + argc);
    switch (sim::ParseCommandLine(args, options, error)) {
    case sim::CommandLine::Help:
        std::fputs(sim::Usage().c_str(), stdout);
        return 0;
    case sim::CommandLine::Version:
        std::fputs("kv100-sim " KORAVEL_VERSION "\n", stdout);
        return 0;
    case sim::CommandLine::Error:
        std::fprintf(stderr, "kv100-sim: %s (see kv100-sim --help)\n", error.c_str());
        return 2;
    case sim::CommandLine::Run:
        break;
    }

    // The signals are taken by sigwait below; the serving thread inherits the
    // mask and never sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    sim::Simulator simulator(options);
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "kv100-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("kv100-sim: COM%d is %s -> %s\n", options.port, simulator.LinkPath().c_str(),
                simulator.SlavePath().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    simulator.Stop();
    return 0;
}
