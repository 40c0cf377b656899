// The config folder rule as the installed programs live it: kv100-sim makes
// its port link there, koravelctl finds the port and koravel.ini there, the
// window saves its settings there. Each program is a copy in a folder of the
// test's own, run with a controlled environment.
#include "program_env.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using install_test::CopyProgram;
using install_test::Mode;
using install_test::StartSim;
using testing_support::ChildProcess;
using testing_support::RunProgram;

namespace {

class ConfigFolder : public ::testing::Test {
protected:
    void SetUp() override {
        env.Unset("KORAVEL_CONFIG_DIR");
        env.Unset("XDG_CONFIG_HOME");
        env.Set("HOME", tmp / "home");
        fs::create_directories(tmp / "home");
    }

    // `koravelctl ARGS status` with the copy at ctl: its exit code.
    int Status(const std::string& ctl, std::vector<std::string> args = {}) {
        args.push_back("status");
        const auto result = RunProgram(ctl, args);
        lastOutput = result.out + result.err;
        return result.exitCode;
    }

    static void EndSim(ChildProcess& sim, const std::string& link) {
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.Wait(20000), 0) << sim.Err();
        EXPECT_FALSE(fs::is_symlink(link)) << link << " left behind";
    }

    install_test::Environment env;
    install_test::TempFolder tmp;
    std::string lastOutput;
};

TEST_F(ConfigFolder, TheVariableNamesItAndItIsMadeOnlyWhenAProgramWritesThere) {
    const std::string config = tmp / "station/koravel";
    env.Set("KORAVEL_CONFIG_DIR", config + "/"); // a trailing slash is no other folder
    env.Set("XDG_CONFIG_HOME", tmp / "xdg");
    const std::string ctl = CopyProgram("koravelctl", tmp / "bin");
    const std::string simProgram = CopyProgram("kv100-sim", tmp / "bin");

    // Asking is not writing: a port that does not open leaves no folder.
    EXPECT_EQ(Status(ctl, {"--port", "3"}), 2) << lastOutput;
    EXPECT_FALSE(fs::exists(tmp / "station")) << "made by merely asking";

    ChildProcess sim;
    const std::string link = StartSim(sim, simProgram, 3);
    ASSERT_EQ(link, config + "/ports/com3") << sim.Err();
    EXPECT_EQ(Mode(tmp / "station"), 0700);
    EXPECT_EQ(Mode(config), 0700);
    EXPECT_EQ(Status(ctl, {"--port", "3"}), 0) << lastOutput;
    EXPECT_NE(lastOutput.find("firmware 1.13"), std::string::npos) << lastOutput;
    EXPECT_FALSE(fs::exists(tmp / "xdg")) << "the variable comes first";
    EXPECT_FALSE(fs::exists(tmp / "home/.config"));
    EndSim(sim, link);
}

TEST_F(ConfigFolder, APortableCopyKeepsItsFilesBesideTheProgram) {
    const std::string portable = tmp / "portable";
    const std::string ctl = CopyProgram("koravelctl", portable);
    const std::string simProgram = CopyProgram("kv100-sim", portable);
    std::ofstream(portable + "/koravel.ini") << "[General]\nSerialport=4\n";
    env.Set("XDG_CONFIG_HOME", tmp / "xdg");

    ChildProcess sim;
    const std::string link = StartSim(sim, simProgram, 4);
    ASSERT_EQ(link, portable + "/ports/com4") << sim.Err();
    // No --port: Serialport of the koravel.ini beside the program.
    EXPECT_EQ(Status(ctl), 0) << lastOutput;
    EXPECT_FALSE(fs::exists(tmp / "xdg"));
    EXPECT_FALSE(fs::exists(tmp / "home/.config"));
    EndSim(sim, link);
}

TEST_F(ConfigFolder, OtherwiseTheUsersConfigFolderMadeWhenFirstNeeded) {
    // Copies with no koravel.ini beside them.
    const std::string ctl = CopyProgram("koravelctl", tmp / "bin");
    const std::string simProgram = CopyProgram("kv100-sim", tmp / "bin");

    // XDG_CONFIG_HOME, when it is an absolute path.
    env.Set("XDG_CONFIG_HOME", tmp / "xdg");
    EXPECT_EQ(Status(ctl, {"--port", "5"}), 2) << lastOutput;
    EXPECT_FALSE(fs::exists(tmp / "xdg")) << "made by merely asking";
    {
        ChildProcess sim;
        const std::string link = StartSim(sim, simProgram, 5);
        ASSERT_EQ(link, tmp / "xdg/koravel/ports/com5") << sim.Err();
        EXPECT_EQ(Mode(tmp / "xdg"), 0700);
        EXPECT_EQ(Mode(tmp / "xdg/koravel"), 0700);
        EXPECT_EQ(Status(ctl, {"--port", "5"}), 0) << lastOutput;
        EndSim(sim, link);
    }
    EXPECT_FALSE(fs::exists(tmp / "bin/ports"));

    // ~/.config/koravel when it is unset; a relative XDG_CONFIG_HOME does not
    // count either.
    env.Unset("XDG_CONFIG_HOME");
    ChildProcess sim;
    const std::string link = StartSim(sim, simProgram, 6);
    ASSERT_EQ(link, tmp / "home/.config/koravel/ports/com6") << sim.Err();
    EXPECT_EQ(Mode(tmp / "home/.config"), 0700);
    EXPECT_EQ(Mode(tmp / "home/.config/koravel"), 0700);
    env.Set("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(Status(ctl, {"--port", "6"}), 0) << lastOutput;
    EndSim(sim, link);
}

TEST_F(ConfigFolder, TheWindowMakesItWhenItFirstSavesItsSettings) {
    const std::string koravel = CopyProgram("koravel", tmp / "bin");
    env.Set("XDG_CONFIG_HOME", tmp / "xdg");
    env.Set("QT_QPA_PLATFORM", "offscreen");

    ChildProcess window;
    ASSERT_TRUE(window.Start(koravel, {}));
    // Up once it takes SIGTERM as a close (the handler is set after show).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!install_test::Catches(window.Pid(), SIGTERM) &&
           std::chrono::steady_clock::now() < deadline && window.Running())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(install_test::Catches(window.Pid(), SIGTERM)) << window.Err();
    EXPECT_FALSE(fs::exists(tmp / "xdg")) << "made before anything was written";

    window.Signal(SIGTERM);
    EXPECT_EQ(window.Wait(30000), 0) << window.Err();
    EXPECT_EQ(Mode(tmp / "xdg/koravel"), 0700);
    std::ifstream saved(tmp / "xdg/koravel/koravel.ini");
    const std::string text((std::istreambuf_iterator<char>(saved)), {});
    EXPECT_NE(text.find("Serialport=1"), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(tmp / "bin/koravel.ini"));
    EXPECT_EQ(window.Err().find("settings not saved"), std::string::npos) << window.Err();
}

} // namespace
