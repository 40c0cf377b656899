// The kv100-sim program: its options, and the program itself run as a
// child process.
#include "sim/command_line.h"
#include "support/process.h"
#include "support/pty_port.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

sim::CommandLine Parse(std::vector<std::string> args, sim::Options& options, std::string& error) {
    return sim::ParseCommandLine(args, options, error);
}

std::string ParseError(std::vector<std::string> args) {
    sim::Options options;
    std::string error;
    if (Parse(std::move(args), options, error) != sim::CommandLine::Error)
        return "(accepted)";
    return error;
}

// A child process with its stdout and stderr on pipes.
struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;

    static Child Run(const std::vector<std::string>& args) {
        Child child;
        int outPipe[2];
        int errPipe[2];
        if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
            return child;
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        child.pid = ::fork();
        if (child.pid == 0) {
            ::dup2(outPipe[1], 1);
            ::dup2(errPipe[1], 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        child.out = outPipe[0];
        child.err = errPipe[0];
        return child;
    }

    // Reads fd until end of file, a newline when wanted, or the time is up.
    static std::string Read(int fd, bool oneLine, int waitMs = 20000) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            struct pollfd p {
                fd, POLLIN, 0
            };
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char c = 0;
            if (::read(fd, &c, 1) != 1)
                break;
            text.push_back(c);
            if (oneLine && c == '\n')
                break;
        }
        return text;
    }

    int Wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(out);
        ::close(err);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

const std::string kProgram = std::string(KORAVEL_BIN_DIR) + "/kv100-sim";

bool ProgramBuilt() {
    return ::access(kProgram.c_str(), X_OK) == 0;
}

} // namespace

TEST(SimCommandLine, EveryOptionLandsInTheOptions) {
    sim::Options o;
    std::string error;
    ASSERT_EQ(Parse({"--port",
                     "3",
                     "--firmware",
                     "1.9",
                     "--frequency=50100",
                     "--eeprom",
                     "e.txt",
                     "--trace",
                     "t.txt",
                     "--no-pace",
                     "--drop",
                     "0.25",
                     "--corrupt",
                     "1",
                     "--delay",
                     "150",
                     "--fail-block",
                     "5",
                     "--fail-block=40",
                     "--noise",
                     "0.5",
                     "--seed",
                     "4294967295",
                     "--config-dir",
                     "/tmp/x"},
                    o, error),
              sim::CommandLine::Run)
        << error;
    EXPECT_EQ(o.port, 3);
    EXPECT_EQ(o.unit.fwMajor, 1);
    EXPECT_EQ(o.unit.fwMinor, 9);
    EXPECT_EQ(o.unit.startFrequencyKhz, 50100);
    EXPECT_EQ(o.eepromFile, "e.txt");
    EXPECT_EQ(o.traceFile, "t.txt");
    EXPECT_FALSE(o.pace);
    EXPECT_DOUBLE_EQ(o.faults.drop, 0.25);
    EXPECT_DOUBLE_EQ(o.faults.corrupt, 1.0);
    EXPECT_EQ(o.faults.delayMs, 150);
    EXPECT_EQ(o.faults.failBlocks, (std::set<int>{5, 40}));
    EXPECT_DOUBLE_EQ(o.faults.noise, 0.5);
    EXPECT_EQ(o.seed, 4294967295u);
    EXPECT_EQ(o.configDir, "/tmp/x");

    sim::Options defaults;
    EXPECT_EQ(Parse({}, defaults, error), sim::CommandLine::Run);
    EXPECT_EQ(defaults.port, 1);
    EXPECT_EQ(defaults.unit.fwMajor, 1);
    EXPECT_EQ(defaults.unit.fwMinor, 13);
    EXPECT_TRUE(defaults.pace);
    EXPECT_EQ(defaults.faults.delayMaxMs, 0);
    EXPECT_FALSE(defaults.faults.sequenceOnly);
    EXPECT_FALSE(defaults.faults.silentStatus);

    // Late by a time drawn from a range; short and missing replies.
    sim::Options misbehaving;
    ASSERT_EQ(
        Parse({"--delay", "60-100", "--sequence-only", "--no-status-replies"}, misbehaving, error),
        sim::CommandLine::Run)
        << error;
    EXPECT_EQ(misbehaving.faults.delayMs, 60);
    EXPECT_EQ(misbehaving.faults.delayMaxMs, 100);
    EXPECT_TRUE(misbehaving.faults.sequenceOnly);
    EXPECT_TRUE(misbehaving.faults.silentStatus);
    EXPECT_EQ(Parse({"--port", "2", "--help"}, defaults, error), sim::CommandLine::Help);
}

TEST(SimCommandLine, BadValuesAreRefusedWithTheOptionNamed) {
    EXPECT_NE(ParseError({"--port", "0"}).find("--port"), std::string::npos);
    EXPECT_NE(ParseError({"--port", "2x"}).find("--port"), std::string::npos);
    EXPECT_NE(ParseError({"--port"}).find("needs a value"), std::string::npos);
    EXPECT_NE(ParseError({"--firmware", "1"}).find("--firmware"), std::string::npos);
    EXPECT_NE(ParseError({"--firmware", "1.256"}).find("--firmware"), std::string::npos);
    EXPECT_NE(ParseError({"--frequency", "65536"}).find("--frequency"), std::string::npos);
    EXPECT_NE(ParseError({"--frequency", "-1"}).find("--frequency"), std::string::npos);
    EXPECT_NE(ParseError({"--drop", "1.5"}).find("--drop"), std::string::npos);
    EXPECT_NE(ParseError({"--corrupt", "nan"}).find("--corrupt"), std::string::npos);
    EXPECT_NE(ParseError({"--noise", ""}).find("--noise"), std::string::npos);
    EXPECT_NE(ParseError({"--delay", "-5"}).find("--delay"), std::string::npos);
    EXPECT_NE(ParseError({"--delay", "100-60"}).find("--delay"), std::string::npos);
    EXPECT_NE(ParseError({"--delay", "60-"}).find("--delay"), std::string::npos);
    EXPECT_NE(ParseError({"--sequence-only=1"}).find("--sequence-only"), std::string::npos);
    EXPECT_NE(ParseError({"--fail-block", "70000"}).find("--fail-block"), std::string::npos);
    EXPECT_NE(ParseError({"--seed", "4294967296"}).find("--seed"), std::string::npos);
    EXPECT_NE(ParseError({"--eeprom="}).find("--eeprom"), std::string::npos);
    EXPECT_NE(ParseError({"--no-pace=1"}).find("--no-pace"), std::string::npos);
    EXPECT_NE(ParseError({"--bogus"}).find("--bogus"), std::string::npos);
    EXPECT_NE(ParseError({"COM1"}).find("COM1"), std::string::npos);
}

TEST(SimProgram, AnnouncesItsPortAndRemovesTheLinkWhenTerminated) {
    if (!ProgramBuilt())
        GTEST_SKIP() << kProgram << " is not built";
    testing_support::TempConfigDir config;
    Child child = Child::Run({kProgram, "--port", "9", "--no-pace"});
    ASSERT_GT(child.pid, 0);
    const std::string line = Child::Read(child.out, true);
    const std::string link = config.path() + "/ports/com9";
    EXPECT_EQ(line.rfind("kv100-sim: COM9 is " + link + " -> /dev/pts/", 0), 0u) << line;
    struct stat st {};
    EXPECT_EQ(::lstat(link.c_str(), &st), 0);

    ::kill(child.pid, SIGTERM);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_NE(::lstat(link.c_str(), &st), 0) << "link removed at exit";
}

TEST(SimProgram, BadOptionsExitWithTwoAndAReason) {
    if (!ProgramBuilt())
        GTEST_SKIP() << kProgram << " is not built";
    const auto bad = testing_support::RunProgram(kProgram, {"--drop", "2"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("--drop"), std::string::npos) << bad.err;
    EXPECT_EQ(bad.out, "");

    const auto help = testing_support::RunProgram(kProgram, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option :
         {"--port", "--firmware", "--frequency", "--eeprom", "--trace", "--no-pace", "--drop",
          "--corrupt", "--delay", "MIN-MAX", "--fail-block", "--noise", "--sequence-only",
          "--no-status-replies", "--seed", "--config-dir"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}
