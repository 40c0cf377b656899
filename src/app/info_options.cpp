#include "info_options.h"

#include <cstdio>
#include <cstring>

#ifndef KORAVEL_VERSION
#error "KORAVEL_VERSION comes from the project's version in CMake"
#endif

namespace koravel {

namespace {

constexpr const char* kHelp =
    "Usage: koravel [--language it|en] [FILE]\n"
    "       koravel --help | --version\n"
    "\n"
    "The remote control of the KV-100 antenna control unit: the unit's front\n"
    "panel in a window, polled on its serial port every 400 ms.\n"
    "\n"
    "  FILE       a set-up file (.koravel) to write into the unit's EEPROM: the\n"
    "             open dialog shows it, it is sent once confirmed, and the\n"
    "             window closes after showing the outcome for 2 s; the outcome\n"
    "             is printed on standard output, and the exit status is 1 when\n"
    "             the file was not sent whole (name a file called --help as\n"
    "             ./--help)\n"
    "  --language it|en\n"
    "             the window's language: Italian or English (default: Italian\n"
    "             for an Italian locale, else English)\n"
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

std::string TakeLanguageOption(int& argc, char** argv, bool& ok) {
    ok = true;
    std::string language;
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = nullptr;
        if (std::strcmp(arg, "--language") == 0) {
            if (i + 1 >= argc) {
                std::fputs("koravel: --language needs a value: it or en\n", stderr);
                ok = false;
                return {};
            }
            value = argv[++i];
        } else if (std::strncmp(arg, "--language=", 11) == 0) {
            value = arg + 11;
        } else {
            argv[out++] = argv[i];
            continue;
        }
        if (std::strcmp(value, "it") != 0 && std::strcmp(value, "en") != 0) {
            std::fprintf(stderr, "koravel: unknown language '%s': it or en\n", value);
            ok = false;
            return {};
        }
        language = value;
    }
    argc = out;
    argv[out] = nullptr;
    return language;
}

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
