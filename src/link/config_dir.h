// Where the program keeps its files: the folder of the executable, or the
// folder named by KORAVEL_CONFIG_DIR when that variable is set.
#pragma once

#include <string>

namespace koravel {

// The config folder, without a trailing slash.
std::string ConfigDir();

// The folder that holds the running executable.
std::string ExecutableDir();

// Joins a folder and a name with one slash.
std::string JoinPath(const std::string& dir, const std::string& name);

} // namespace koravel
