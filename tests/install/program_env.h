// The programs of the build run as a user runs them: copied into folders of
// the test's own (the executable's folder is part of the config folder rule),
// with the environment variables that rule reads under the test's control.
#pragma once

#include "support/rig_process.h"

#include <map>
#include <optional>
#include <string>

namespace install_test {

// Sets or removes variables for one test and puts the old values back after.
class Environment {
public:
    Environment() = default;
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    void Set(const std::string& name, const std::string& value);
    void Unset(const std::string& name);

private:
    void Save(const std::string& name);
    std::map<std::string, std::optional<std::string>> saved_;
};

// A fresh folder under /tmp, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Copies the build's program into folder (made when missing); its new path.
std::string CopyProgram(const std::string& name, const std::string& folder);

// Starts kv100-sim (the program at path) unpaced as port, and waits for the
// line that tells where it linked the port. The link's path; empty when the
// simulator did not start (its stderr is then in sim.Err()).
std::string StartSim(testing_support::ChildProcess& sim, const std::string& path, int port);

// The permission bits of a file or folder; -1 when it does not exist.
int Mode(const std::string& path);

// True once the process has a handler for signal (read from /proc).
bool Catches(pid_t pid, int signal);

} // namespace install_test
