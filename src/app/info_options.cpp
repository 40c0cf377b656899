#include "info_options.h"

#include <cstdio>
#include <cstring>

#ifndef KORAVEL_VERSION
#error "KORAVEL_VERSION comes from the project's version in CMake"
#endif

namespace koravel {

namespace {

constexpr const char* kHelp =
    "Usage: koravel [FILE]\n"
    "       koravel --help | --version\n"
    "\n"
    "The remote control of the KV-100 antenna control unit: the unit's front\n"
    "panel in a window, polled on its serial port every 400 ms.\n"
    "\n"
    "  FILE       a set-up file (.koravel) to write into the unit's EEPROM: the\n"
    "             open dialog shows it, it is sent once confirmed, and the\n"
    "             window closes (name a file called --help as ./--help)\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are accepted too.\n"
    "\n"
    "The settings (koravel.ini), the rigs (omnirig.ini) and the serial port\n"
    "links (ports/com<N>) live in the config folder: KORAVEL_CONFIG_DIR, else the\n"
    "program's folder when it holds koravel.ini, else $XDG_CONFIG_HOME/koravel\n"
    "(~/.config/koravel). KORAVEL_TRACE=FILE writes every frame of the serial\n"
    "line into FILE. See koravel(1).\n";

} // namespace

std::optional<int> AnswerInfoOption(int argc, char** argv) {
    if (argc < 2)
        return std::nullopt;
    const char* first = argv[1];
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
        std::fputs(kHelp, stdout);
    } else if (std::strcmp(first, "--version") == 0) {
        std::fputs("koravel " KORAVEL_VERSION "\n", stdout);
    } else {
        return std::nullopt;
    }
    // A closed or full stdout is an error the caller should see.
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
}

} // namespace koravel
