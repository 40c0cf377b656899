// Running a program of the project as a child process and collecting its
// output and exit code.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs path with args (environment inherited) and waits for it.
ProcessResult RunProgram(const std::string& path, const std::vector<std::string>& args);

// A program of the build: KORAVEL_BIN_DIR/<name>.
std::string BinPath(const std::string& name);

} // namespace testing_support
