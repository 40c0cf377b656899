// koravelctl: the control unit from the command line, on the same link code
// as the window.
//
//   koravelctl [--port N] [--json] status | tune KHZ [normal|180|bidir] |
//              band 40|30|20|17|15|12|10|6 | retract | watch |
//              send [--force] FILE | check [--verbose] [--firmware X.Y] FILE |
//              follow [--rig 1|2] [--source SOURCE]  (built with the CAT back end)
//   koravelctl ports [set N DEVICE | set N tcp://HOST:PORT | clear N]
//   koravelctl --help | --version
//
// Every argument is checked before the port is opened.
#ifdef KORAVELCTL_WITH_CAT
#include "ctl_follow.h"
#endif
#include "ctl_link.h"
#include "ctl_ports.h"
#include "ctl_setup.h"
#include "ctl_unit.h"

#ifndef KORAVEL_VERSION
#error "KORAVEL_VERSION comes from the project's version in CMake"
#endif

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

void Usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: koravelctl [--port N] [--json] COMMAND [ARGS]\n"
                 "       koravelctl ports [set N DEVICE | set N tcp://HOST:PORT | clear N]\n"
                 "       koravelctl --help | --version\n"
                 "\n"
                 "  --json                       status, watch and follow print one JSON\n"
                 "                               object per line (see koravelctl(1))\n"
                 "\n"
                 "commands:\n"
                 "  status                       print the unit's status once\n"
                 "  tune KHZ [normal|180|bidir]  tune the elements (and set the direction)\n"
                 "  band 40|30|20|17|15|12|10|6  tune to a band button's frequency\n"
                 "  retract                      retract the elements\n"
                 "  watch                        print the status on every change (Ctrl-C ends)\n"
                 "  send [--force] FILE          write a set-up file's blocks into the unit;\n"
                 "                               nothing is written when the unit does not\n"
                 "                               report its firmware version or a value is no\n"
                 "                               integer, nor, unless --force is given, a file\n"
                 "                               made for the other firmware family (1.13 or\n"
                 "                               later, or below), one that lacks fields of a\n"
                 "                               block it writes, or one that repeats a section\n"
                 "  check [--verbose] [--firmware X.Y] FILE\n"
                 "                               build every block of a set-up file without\n"
                 "                               sending; report values cut, wrapped, unread,\n"
                 "                               missing, given twice or not integers (the\n"
                 "                               firmware is asked from the unit unless given);\n"
                 "                               --verbose shows every block's bytes\n"
#ifdef KORAVELCTL_WITH_CAT
                 "  follow [--rig 1|2] [--source SOURCE]\n"
                 "                               send the radio's frequency to the unit on\n"
                 "                               every change of rig 1 (default) or 2 of the\n"
                 "                               CAT back end (omnirig.ini); Ctrl-C ends.\n"
                 "                               SOURCE, for this run: radioinfo[:PORT] (a\n"
                 "                               logger's RadioInfo datagrams, port 12060),\n"
                 "                               wsjtx[:PORT] (WSJT-X, port 2237) or hamlib\n"
#endif
                 "  ports                        list the config folder, each COM number's\n"
                 "                               link and whether its device is there, and\n"
                 "                               the serial devices present\n"
                 "  ports set N DEVICE           make COM N (1 to 255) stand for DEVICE, by\n"
                 "                               its /dev/serial/by-id name when it has one\n"
                 "  ports set N tcp://HOST:PORT  make COM N a network port: a raw TCP\n"
                 "                               connection to a serial server (ser2net)\n"
                 "  ports clear N                take COM N's link away\n"
                 "\n"
                 "The port defaults to \"Serialport\" of koravel.ini in the config folder,\n"
                 "else 1. Port N is the link ports/comN in the config folder (a device,\n"
                 "or tcp://HOST:PORT), else /dev/ttyS<N-1>. The config folder is\n"
                 "KORAVEL_CONFIG_DIR, else the program's folder when it holds koravel.ini,\n"
                 "else $XDG_CONFIG_HOME/koravel (~/.config/koravel when XDG_CONFIG_HOME is\n"
                 "unset).\n"
                 "Exit codes: 0 done, 2 bad usage or port not open, 3 the unit refused,\n"
                 "4 no reply from the unit, 5 the set-up file was not sent, 6 the output\n"
                 "could not be written;\n"
#ifdef KORAVELCTL_WITH_CAT
                 "follow: 2 also when the CAT back end or the rig is not usable;\n"
#endif
                 "check: 0 nothing to report, 1 findings reported.\n");
}

bool ParsePort(const char* text, int& port) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 255)
        return false;
    port = static_cast<int>(value);
    return true;
}

// Opens the link on port (the saved one when 0): null, with the reason
// printed, when the port does not open.
ctl::Link* OpenLink(std::unique_ptr<ctl::Link>& link, int port) {
    link = std::make_unique<ctl::Link>();
    const std::optional<int> saved =
        port != 0 ? std::optional<int>(port) : ctl::DefaultPortNumber();
    if (!saved)
        return nullptr;
    link->portNumber = *saved;
    ctl::OpenTraceFromEnvironment(*link);
    if (!ctl::OpenUnitPort(link->unit, link->portNumber))
        return nullptr;
    ctl::InstallInterruptHandler();
    link->loop.Watch(ctl::InterruptFd(), [raw = link.get()] { raw->loop.Stop(); });
    return link.get();
}

} // namespace

// The command; its exit code.
static int Run(int argc, char** argv) {
    int port = 0;
    std::optional<int> firmware;
    std::optional<int> rig;
    std::optional<std::string> source;
    bool force = false;
    bool json = false;
    bool verbose = false;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return ctl::kExitOk;
        }
        if (arg == "--version") {
            std::printf("koravelctl %s\n", KORAVEL_VERSION);
            return std::fflush(stdout) == 0 ? ctl::kExitOk : ctl::kExitFailed;
        }
        if (arg == "--json") {
            json = true;
            continue;
        }
        if (arg == "--verbose" || arg == "-v") {
            verbose = true;
            continue;
        }
        if (arg == "--source") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "koravelctl: --source takes radioinfo[:PORT], "
                                     "wsjtx[:PORT] or hamlib\n");
                return ctl::kExitUsage;
            }
            source = argv[++i];
            continue;
        }
        if (arg == "--port" || arg == "-p") {
            if (i + 1 >= argc || !ParsePort(argv[i + 1], port)) {
                std::fprintf(stderr, "koravelctl: --port takes a port number from 1 to 255\n");
                return ctl::kExitUsage;
            }
            ++i;
            continue;
        }
        if (arg == "--rig") {
            if (i + 1 >= argc ||
                (std::strcmp(argv[i + 1], "1") != 0 && std::strcmp(argv[i + 1], "2") != 0)) {
                std::fprintf(stderr, "koravelctl: --rig takes 1 or 2\n");
                return ctl::kExitUsage;
            }
            rig = argv[i + 1][0] - '0';
            ++i;
            continue;
        }
        if (arg == "--force") {
            force = true;
            continue;
        }
        if (arg == "--firmware") {
            if (i + 1 >= argc || !(firmware = ctl::ParseFirmware(argv[i + 1]))) {
                std::fprintf(stderr, "koravelctl: --firmware takes MAJOR.MINOR, e.g. 1.13\n");
                return ctl::kExitUsage;
            }
            ++i;
            continue;
        }
        words.push_back(arg);
    }
    if (words.empty()) {
        Usage(stderr);
        return ctl::kExitUsage;
    }
    const std::string command = words.front();
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (command == "ports") {
        if (port != 0 || rig || firmware) {
            std::fprintf(stderr, "koravelctl: ports takes no --port, --rig or --firmware\n");
            return ctl::kExitUsage;
        }
        return ctl::RunPorts(args);
    }
    const bool known = command == "status" || command == "tune" || command == "band" ||
                       command == "retract" || command == "watch" || command == "send" ||
                       command == "check";
#ifdef KORAVELCTL_WITH_CAT
    const bool follow = command == "follow";
#else
    const bool follow = false;
#endif
    if (!known && !follow) {
        std::fprintf(stderr, "koravelctl: unknown command '%s'\n", command.c_str());
        Usage(stderr);
        return ctl::kExitUsage;
    }
    if ((command == "status" || command == "retract" || command == "watch" || follow) &&
        !args.empty()) {
        std::fprintf(stderr, "koravelctl: %s takes no arguments\n", command.c_str());
        return ctl::kExitUsage;
    }
    if ((command == "send" || command == "check") && args.size() != 1) {
        std::fprintf(stderr, "koravelctl: %s takes one set-up file\n", command.c_str());
        return ctl::kExitUsage;
    }
    if (force && command != "send") {
        std::fprintf(stderr, "koravelctl: --force goes with send only\n");
        return ctl::kExitUsage;
    }
    if (firmware && command != "check") {
        // send takes the version from the unit's own reply, as the window does.
        std::fprintf(stderr, "koravelctl: --firmware goes with check only\n");
        return ctl::kExitUsage;
    }
    if (rig && !follow) {
        std::fprintf(stderr, "koravelctl: --rig goes with follow only\n");
        return ctl::kExitUsage;
    }
    if (source && !follow) {
        std::fprintf(stderr, "koravelctl: --source goes with follow only\n");
        return ctl::kExitUsage;
    }
    if (json && command != "status" && command != "watch" && !follow) {
        std::fprintf(stderr, "koravelctl: --json goes with status, watch and follow\n");
        return ctl::kExitUsage;
    }
    if (verbose && command != "check") {
        std::fprintf(stderr, "koravelctl: --verbose goes with check only\n");
        return ctl::kExitUsage;
    }
    // The arguments are checked before the port is opened.
    std::optional<koravel::Bytes> tuneArgument;
    if (command == "tune" && !(tuneArgument = ctl::TuneArgumentFrom(args)))
        return ctl::kExitUsage;
    if (command == "band" && !(tuneArgument = ctl::BandArgumentFrom(args)))
        return ctl::kExitUsage;
#ifdef KORAVELCTL_WITH_CAT
    if (source && !ctl::CheckFollowSource(*source))
        return ctl::kExitUsage;
#endif
    std::unique_ptr<ctl::Link> link;
    if (command == "check")
        return ctl::RunCheck(args[0], firmware, verbose,
                             [&link, port] { return OpenLink(link, port); });

    if (OpenLink(link, port) == nullptr)
        return ctl::kExitUsage;
#ifdef KORAVELCTL_WITH_CAT
    if (follow)
        return ctl::RunFollow(*link, {rig.value_or(1), source.value_or(""), json}, argc, argv);
#endif
    if (command == "status")
        return ctl::RunStatus(*link, json);
    if (command == "tune" || command == "band")
        return ctl::RunTune(*link, *tuneArgument, command.c_str());
    if (command == "retract")
        return ctl::RunRetract(*link);
    if (command == "send")
        return ctl::RunSend(*link, args[0], force);
    return ctl::RunWatch(*link, json);
}

int main(int argc, char** argv) {
    return ctl::FinishOutput(Run(argc, argv));
}
