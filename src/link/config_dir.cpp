#include "link/config_dir.h"

#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace koravel {

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

std::string ConfigDir() {
    const char* env = std::getenv("KORAVEL_CONFIG_DIR");
    if (env != nullptr && *env != '\0') {
        std::string dir(env);
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        return dir;
    }
    return ExecutableDir();
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    if (dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

} // namespace koravel
