// koravel --help and --version: answered on the terminal, before the window
// (so without a display), with exit code 0.
#include "program_env.h"
#include "support/process.h"

#include <gtest/gtest.h>

using testing_support::BinPath;
using testing_support::RunProgram;

TEST(KoravelInfoOptions, HelpAndVersionPrintAndExitWithoutADisplay) {
    install_test::Environment env;
    env.Unset("DISPLAY");
    env.Unset("WAYLAND_DISPLAY");
    env.Set("QT_QPA_PLATFORM", "xcb"); // a window would fail here

    for (const char* program : {"koravel", "koravelctl", "kv100-sim"}) {
        const auto version = RunProgram(BinPath(program), {"--version"});
        EXPECT_EQ(version.exitCode, 0) << version.err;
        EXPECT_EQ(version.out, std::string(program) + " " KORAVEL_VERSION "\n");
        EXPECT_EQ(version.err, "");
    }

    for (const char* option : {"--help", "-h"}) {
        const auto help = RunProgram(BinPath("koravel"), {option});
        EXPECT_EQ(help.exitCode, 0) << option << ": " << help.err;
        EXPECT_EQ(help.out.rfind("Usage: koravel [--language it|en] [FILE]\n", 0), 0u) << help.out;
        for (const char* word : {"--version", "--language", "KORAVEL_CONFIG_DIR", "XDG_CONFIG_HOME",
                                 "~/.config/koravel", "KORAVEL_TRACE"})
            EXPECT_NE(help.out.find(word), std::string::npos) << word << " missing:\n" << help.out;
    }

    // A language the window does not speak is refused before Qt starts.
    const auto language = RunProgram(BinPath("koravel"), {"--language", "fr"});
    EXPECT_EQ(language.exitCode, 2);
    EXPECT_NE(language.err.find("unknown language 'fr'"), std::string::npos) << language.err;

    // Anything else is the set-up file for the window, which cannot open here.
    const auto file = RunProgram(BinPath("koravel"), {"--versions"});
    EXPECT_NE(file.exitCode, 0);
    EXPECT_EQ(file.out.find("koravel " KORAVEL_VERSION), std::string::npos);
}
