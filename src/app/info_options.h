// The options the program answers on the terminal without opening its
// window: --help and --version.
#pragma once

#include <optional>

namespace koravel {

// When the first argument is --help (-h) or --version, prints the answer on
// stdout and gives the exit code; nullopt for anything else, which is left
// to the window (a set-up file, or Qt's own options).
std::optional<int> AnswerInfoOption(int argc, char** argv);

} // namespace koravel
