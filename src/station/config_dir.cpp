#include "station/config_dir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

// One folder: kept when it is there, made (mode 0700) when it is not.
bool MakeOne(const std::string& dir, std::string& error) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        if (::mkdir(dir.c_str(), 0700) == 0)
            return true;
        const int reason = errno;
        // Another process may have made it in the meantime.
        if (reason != EEXIST || ::stat(dir.c_str(), &st) != 0) {
            error = "cannot create the folder " + dir + ": " + std::strerror(reason);
            return false;
        }
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "cannot create the folder " + dir + ": a file of that name is in the way";
        return false;
    }
    return true;
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

bool MakeConfigDir(const std::string& dir, std::string& error) {
    if (dir.empty()) {
        error = "no config folder";
        return false;
    }
    // Every prefix that ends before a slash, then the folder itself.
    for (size_t slash = dir.find('/', 1); slash != std::string::npos;
         slash = dir.find('/', slash + 1)) {
        if (dir[slash - 1] == '/')
            continue; // a doubled slash
        if (!MakeOne(dir.substr(0, slash), error))
            return false;
    }
    return MakeOne(dir, error);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    if (dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

} // namespace koravel
