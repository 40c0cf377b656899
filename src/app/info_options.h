// The options the program answers on the terminal without opening its
// window: --help and --version; and --language, which the window takes.
#pragma once

#include <optional>
#include <string>

namespace koravel {

// When the first argument is --help (-h) or --version, prints the answer on
// stdout and gives the exit code; nullopt for anything else, which is left
// to the window (a set-up file, or Qt's own options).
std::optional<int> AnswerInfoOption(int argc, char** argv);

// Takes "--language it|en" (or "--language=it") out of argv, wherever it
// stands before a set-up file, and gives its value: empty when the option
// is absent. A value that is not a language, or a missing one, is an error:
// ok false, with the message printed on stderr.
std::string TakeLanguageOption(int& argc, char** argv, bool& ok);

} // namespace koravel
