#include "station/open_failure.h"

#include "station/config_dir.h"
#include "station/port_links.h"
#include "transport/port.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <netdb.h>
#include <pwd.h>
#include <sys/stat.h>

namespace koravel {

namespace {

OpenFailureKind KindOf(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return OpenFailureKind::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:
        return OpenFailureKind::Busy;
    case ENOENT:
    case ENOTDIR:
        return OpenFailureKind::NotPluggedIn;
    case ENXIO:
    case ENODEV:
    case EIO:
        return OpenFailureKind::NoHardware;
    case ENOTTY:
    case EINVAL:
        return OpenFailureKind::NotSerial;
    default:
        return OpenFailureKind::Other;
    }
}

std::string GroupName(gid_t gid) {
    if (const struct group* entry = ::getgrgid(gid); entry != nullptr && entry->gr_name != nullptr)
        return entry->gr_name;
    return std::to_string(gid);
}

std::string UserName(uid_t uid) {
    if (const struct passwd* entry = ::getpwuid(uid); entry != nullptr && entry->pw_name != nullptr)
        return entry->pw_name;
    return std::to_string(uid);
}

OpenFailureKind NetworkKindOf(int error) {
    switch (error) {
    case EBUSY:
        return OpenFailureKind::Busy;
    case EINVAL:
        return OpenFailureKind::BadAddress;
    case EREMOTEIO:
        return OpenFailureKind::TurnedAway;
    default:
        // Resolver codes are negative; a short write is no open failure.
        if (error < 0 && error != transport::kShortWrite)
            return OpenFailureKind::HostNotFound;
        return OpenFailureKind::CannotConnect;
    }
}

std::string LowerFirst(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string Quoted(const std::string& text) {
    return text.empty() ? std::string() : " (\"" + text + "\")";
}

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777u);
    return text;
}

} // namespace

OpenFailure ExamineOpenFailure(const std::string& configDir, int number, int error,
                               const std::string& serverText) {
    OpenFailure failure;
    failure.number = number;
    failure.error = error;
    failure.kind = KindOf(error);
    if (number < kFirstPortNumber) {
        failure.kind = OpenFailureKind::NoPort;
        return failure;
    }

    std::string opened; // the path the serial layer opened
    const auto link = ReadPortLink(configDir, number);
    if (link && link->isLink && KindOfTarget(link->target) == PortTargetKind::Network) {
        failure.network = true;
        failure.link = link->path;
        failure.device = link->target;
        const auto address = ParseNetworkAddress(link->target);
        failure.address = address ? address->HostAndPort() : link->target;
        failure.kind = NetworkKindOf(error);
        failure.serverText = serverText;
        return failure;
    }
    if (link) {
        failure.link = link->path;
        opened = link->path;
        std::error_code ec;
        const auto node = std::filesystem::canonical(link->path, ec);
        failure.device = !ec ? node.string() : (link->isLink ? link->target : link->path);
    } else {
        opened = "/dev/ttyS" + std::to_string(number - 1);
        failure.device = opened;
    }

    if (failure.kind == OpenFailureKind::PermissionDenied) {
        struct stat st {};
        if (::stat(opened.c_str(), &st) == 0) {
            failure.group = GroupName(st.st_gid);
            failure.owner = UserName(st.st_uid);
            failure.mode = st.st_mode & 07777u;
            failure.groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
        }
    }
    return failure;
}

std::string NetworkErrorWords(int error) {
    switch (error) {
    case 0:
        return "connected";
    case ECONNREFUSED:
        return "connection refused (nothing serves that port)";
    case ETIMEDOUT:
        return "connection timed out (no answer within 3 s)";
    case EHOSTUNREACH:
        return "host unreachable";
    case ENETUNREACH:
        return "network unreachable";
    case ECONNRESET:
        return "the connection was closed at the far end";
    case EPIPE:
        return "the connection was broken";
    case EBUSY:
        return "the serial server's port is in use by another program";
    case EREMOTEIO:
        return "the serial server turned the connection away";
    case transport::kHostNotFound:
        return "host not found";
    case EAI_AGAIN:
        return "host not found: the name server does not answer";
    default:
        if (error < 0 && error != transport::kShortWrite)
            return LowerFirst(::gai_strerror(error));
        return error > 0 ? LowerFirst(std::strerror(error)) : std::string("write error");
    }
}

std::string ConnectionDownText(int number, const std::string& address, int error,
                               const std::string& serverText) {
    const std::string port = "COM" + std::to_string(number) + " (" + kNetworkScheme + address + ")";
    std::string why = NetworkErrorWords(error);
    if (error == EBUSY || error == EREMOTEIO)
        why += Quoted(serverText);
    return port + ": connection lost: " + why + "; trying again every " +
           std::to_string(transport::kReconnectMs / 1000) + " s.";
}

namespace {

std::string NetworkFailureText(const OpenFailure& f) {
    const std::string port = "COM" + std::to_string(f.number) + " (" + f.device + ")";
    switch (f.kind) {
    case OpenFailureKind::Busy:
        return port + " does not open: the serial server at " + f.address +
               " says its port is in use by another program" + Quoted(f.serverText) +
               ". Close that program, or choose another port.";
    case OpenFailureKind::BadAddress:
        return port + " does not open: a network port is written tcp://HOST:PORT (the link " +
               f.link + ").";
    case OpenFailureKind::TurnedAway:
        return port + " does not open: the serial server at " + f.address +
               " turned the connection away" + Quoted(f.serverText) + ".";
    default:
        return port + " does not open: cannot connect to " + f.address + ": " +
               NetworkErrorWords(f.error) + ".";
    }
}

} // namespace

std::string OpenFailureText(const OpenFailure& f) {
    if (f.network)
        return NetworkFailureText(f);
    const std::string com = "COM" + std::to_string(f.number);
    const std::string port = com + " (" + f.device + ")";
    switch (f.kind) {
    case OpenFailureKind::NoPort:
        return "No serial port is chosen (" + com + ").";
    case OpenFailureKind::PermissionDenied:
        if (f.group.empty())
            return port + " does not open: permission denied.";
        if (f.groupMayUse) {
            return port + " does not open: permission denied. The device belongs to the group '" +
                   f.group + "': add your user to the group '" + f.group + "' (sudo usermod -aG " +
                   f.group + " $USER) and log in again.";
        }
        return port + " does not open: permission denied. Only its owner '" + f.owner +
               "' may use it (mode " + Octal(f.mode) + "); ask the computer's administrator.";
    case OpenFailureKind::Busy:
        return port + " does not open: it is in use by another program. Close that program, "
                      "or choose another port.";
    case OpenFailureKind::NotPluggedIn:
        if (!f.link.empty()) {
            return com + " does not open: its device " + f.device +
                   " is not plugged in (the link " + f.link + " expects it).";
        }
        return port + " does not open: there is no such device; it is not plugged in, or this "
                      "computer has no such port.";
    case OpenFailureKind::NoHardware:
        return port + " does not open: there is no serial port behind this device.";
    case OpenFailureKind::NotSerial:
        return port + " does not open: it is not a serial device.";
    case OpenFailureKind::BadAddress:
    case OpenFailureKind::HostNotFound:
    case OpenFailureKind::CannotConnect:
    case OpenFailureKind::TurnedAway:
    case OpenFailureKind::Other:
        break;
    }
    return port + " does not open: " +
           (f.error > 0 ? std::string(std::strerror(f.error)) : std::string("write error")) + ".";
}

} // namespace koravel
