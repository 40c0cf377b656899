// The real koravel program (or any program of the build) as a child process
// that runs beside the test: started with its own environment, watched
// through its files, ended by a signal, its exit and its output collected.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace koravel::test {

class ChildProgram {
public:
    // Starts path with args; env entries are added to the test's own
    // environment (replacing a variable of the same name). Output goes to
    // files, so a child that writes much never blocks on a pipe.
    ChildProgram(const std::string& path, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env);
    ~ChildProgram(); // kills a child still running
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int sig) const;
    // Waits for the end; false when the child still runs after timeoutMs.
    bool Wait(int timeoutMs);
    bool Exited() const { return exited_; }
    int ExitCode() const { return exitCode_; } // when it exited normally
    int TermSignal() const { return signal_; } // when a signal ended it
    std::string Out() const;
    std::string Err() const;

private:
    pid_t pid_ = -1;
    bool done_ = false;
    bool exited_ = false;
    int exitCode_ = -1;
    int signal_ = 0;
    std::string outDir_;
};

// koravel under the offscreen platform with the config folder dir and the
// frame trace written to tracePath.
std::map<std::string, std::string> KoravelEnv(const std::string& dir, const std::string& tracePath);

// The whole file, or empty when it cannot be read.
std::string FileText(const std::string& path);
// Lines of a frame trace that start with direction ("tx" or "rx").
int TraceLines(const std::string& tracePath, const char* direction);

// Waits for cond without pumping any event loop (for conditions on other
// processes); false when the time is up.
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 20000);

} // namespace koravel::test
