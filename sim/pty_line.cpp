#include "sim/pty_line.h"

#include "station/files.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

std::string Reason(const std::string& what, int err) {
    return what + ": " + std::strerror(err);
}

bool ReadLink(const std::string& path, std::string& target) {
    char buf[PATH_MAX];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n < 0)
        return false;
    target.assign(buf, static_cast<size_t>(n));
    return true;
}

bool IsPseudoTerminalPath(const std::string& path) {
    return path.rfind("/dev/pts/", 0) == 0;
}

} // namespace

bool OpenRawPty(PtyPair& pty, std::string& error) {
    struct termios raw {};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B19200);
    cfsetospeed(&raw, B19200);
    raw.c_cflag |= CLOCAL | CREAD;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    char name[PATH_MAX] = {};
    int master = -1;
    int slave = -1;
    // The slave starts raw: with echo on it would send every request back.
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) {
        error = Reason("cannot open a pseudo-terminal", errno);
        return false;
    }
    int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0 ||
        ::fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(slave, F_SETFD, FD_CLOEXEC) != 0) {
        error = Reason("cannot set up the pseudo-terminal", errno);
        ::close(master);
        ::close(slave);
        return false;
    }
    pty.master = master;
    pty.slave = slave;
    pty.slavePath = name;
    return true;
}

void ClosePty(PtyPair& pty) {
    if (pty.slave >= 0)
        ::close(pty.slave);
    if (pty.master >= 0)
        ::close(pty.master);
    pty.slave = -1;
    pty.master = -1;
}

bool MakePortLink(const std::string& linkPath, const std::string& target, std::string& error) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a link; choose another port";
            return false;
        }
        std::string old;
        struct stat dest {};
        const bool dangling = ::stat(linkPath.c_str(), &dest) != 0;
        if (!ReadLink(linkPath, old) || (!dangling && !IsPseudoTerminalPath(old))) {
            error = linkPath + " already links to " + (old.empty() ? "a device" : old) +
                    "; choose another port";
            return false;
        }
    } else if (errno != ENOENT) {
        error = Reason("cannot look at " + linkPath, errno);
        return false;
    }
    // A reader never finds the port missing while a stale link is replaced.
    return koravel::ReplaceSymlink(linkPath, target, error);
}

void RemovePortLink(const std::string& linkPath, const std::string& target) {
    std::string current;
    if (ReadLink(linkPath, current) && current == target)
        ::unlink(linkPath.c_str());
}

} // namespace sim
