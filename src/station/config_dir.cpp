#include "station/config_dir.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace koravel {

namespace {

std::string WithoutTrailingSlashes(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

bool IsSet(const char* value) {
    return value != nullptr && *value != '\0';
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

std::string ExecutableDir() {
    std::vector<char> buf(4096);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return ".";
    std::string path(buf.data(), static_cast<size_t>(n));
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (IsSet(home))
        return WithoutTrailingSlashes(home);
    if (const struct passwd* entry = ::getpwuid(::getuid()); entry != nullptr) {
        if (IsSet(entry->pw_dir))
            return WithoutTrailingSlashes(entry->pw_dir);
    }
    return {};
}

std::string ChooseConfigDir(const ConfigDirSources& sources) {
    if (IsSet(sources.configDirVariable))
        return WithoutTrailingSlashes(sources.configDirVariable);
    if (Exists(JoinPath(sources.executableDir, kSettingsFileName)))
        return sources.executableDir;
    // XDG_CONFIG_HOME counts only as an absolute path; a relative one is
    // ignored as the base directory rules ask.
    if (IsSet(sources.xdgConfigHome) && sources.xdgConfigHome[0] == '/')
        return JoinPath(WithoutTrailingSlashes(sources.xdgConfigHome), "koravel");
    if (!sources.homeDir.empty())
        return JoinPath(JoinPath(sources.homeDir, ".config"), "koravel");
    // No home at all (a bare service account): the executable's folder, as a
    // portable copy would use.
    return sources.executableDir;
}

std::string ConfigDir() {
    ConfigDirSources sources;
    sources.configDirVariable = std::getenv("KORAVEL_CONFIG_DIR");
    sources.executableDir = ExecutableDir();
    sources.xdgConfigHome = std::getenv("XDG_CONFIG_HOME");
    sources.homeDir = HomeDir();
    return ChooseConfigDir(sources);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    if (dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

} // namespace koravel
