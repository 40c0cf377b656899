#include "station/com_port.h"

#include "station/config_dir.h"
#include "transport/network_address.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace koravel {

namespace {

bool ParsePortName(const std::string& name, unsigned long& number) {
    if (name.size() < 4)
        return false;
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "BIO"[i])
            return false;
    }
    number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
        number = number * 10 + static_cast<unsigned long>(name[i] - '0');
        if (number > 1000000)
            return false;
    }
    return true;
}

// The text of the link at path when it is one.
std::string LinkText(const std::string& path) {
    char text[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), text, sizeof text - 1);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

std::string ResolvePortPath(const std::string& name) {
    unsigned long number = 0;
    if (!ParsePortName(name, number))
        return {};
    std::string link = JoinPath(JoinPath(ConfigDir(), "ports"), "com" + std::to_string(number));
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0)
        return link;
    if (number == 0)
        return {};
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::string ResolvePortTarget(const std::string& name) {
    const std::string path = ResolvePortPath(name);
    const std::string text = path.empty() ? std::string() : LinkText(path);
    return IsNetworkTarget(text) ? text : path;
}

std::int32_t OpenComPort(transport::Port& port, int number) {
    port.Close();
    const std::string target = ResolvePortTarget("bio" + std::to_string(number));
    if (target.empty())
        return ENOENT;
    std::int32_t error = port.Open(target);
    if (error == 0)
        error = port.Configure(transport::LineSettings{});
    if (error != 0 && port.IsOpen()) {
        // A device that opened but refused its settings is not kept.
        port.Close();
    }
    return error;
}

} // namespace koravel
