// Where the programs keep their files (koravel.ini, omnirig.ini, ports/).
// The first that applies:
//   1. the folder named by KORAVEL_CONFIG_DIR, when that variable is set;
//   2. the executable's own folder, when it already holds koravel.ini (a
//      portable copy keeps its settings beside it);
//   3. $XDG_CONFIG_HOME/koravel, or ~/.config/koravel when XDG_CONFIG_HOME
//      is unset or not an absolute path.
// Asking for the folder never creates it; a writer makes it first
// (MakeFolders of station/files.h).
#pragma once

#include <string>

namespace koravel {

// The settings file's name; its presence beside the executable makes a
// portable copy.
inline constexpr const char* kSettingsFileName = "koravel.ini";

// What the folder is chosen from: the environment and the executable's folder.
struct ConfigDirSources {
    const char* configDirVariable = nullptr; // KORAVEL_CONFIG_DIR
    std::string executableDir;
    const char* xdgConfigHome = nullptr; // XDG_CONFIG_HOME
    std::string homeDir;                 // empty when the home folder is unknown
};

// The rule above, on given sources (no look at the environment). The result
// has no trailing slash.
std::string ChooseConfigDir(const ConfigDirSources& sources);

// The config folder of this process, without a trailing slash.
std::string ConfigDir();

// The folder that holds the running executable.
std::string ExecutableDir();

// The user's home folder: HOME, else the password database; empty when
// neither names one.
std::string HomeDir();

// Joins a folder and a name with one slash.
std::string JoinPath(const std::string& dir, const std::string& name);

} // namespace koravel
