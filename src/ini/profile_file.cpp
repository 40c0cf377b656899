// Reading a profile from disk and saving it (through the atomic writer).
#include "ini/profile.h"

#include "ini/atomic_file.h"
#include "ini/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ini {

namespace {

std::string Reason(int err) {
    return std::strerror(err);
}

std::string SizeText(std::size_t bytes) {
    constexpr std::size_t kKiB = 1024;
    constexpr std::size_t kMiB = 1024 * kKiB;
    if (bytes >= kMiB && bytes % kMiB == 0) {
        return std::to_string(bytes / kMiB) + " MiB";
    }
    if (bytes >= kKiB && bytes % kKiB == 0) {
        return std::to_string(bytes / kKiB) + " KiB";
    }
    return std::to_string(bytes) + " bytes";
}

} // namespace

std::string NotRegularReason(unsigned mode) {
    switch (mode & S_IFMT) {
    case S_IFDIR:
        return "is a directory";
    case S_IFIFO:
        return "is a FIFO";
    case S_IFCHR:
        return "is a character device";
    case S_IFBLK:
        return "is a block device";
    case S_IFSOCK:
        return "is a socket";
    default:
        return "is not a regular file";
    }
}

std::optional<Profile> Profile::Load(const std::string& path, std::string& error,
                                     std::size_t maxBytes) {
    // O_NONBLOCK keeps a FIFO or a device from blocking the open itself, and
    // O_NOCTTY a terminal from becoming the process's.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        error = Reason(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = Reason(errno);
        return std::nullopt;
    }
    // Only a regular file is read: a FIFO or a device would wait for a
    // writer, or never end.
    if (!S_ISREG(st.st_mode)) {
        error = NotRegularReason(st.st_mode);
        return std::nullopt;
    }
    const std::string tooLarge = "larger than " + SizeText(maxBytes);
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        error = tooLarge;
        return std::nullopt;
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }

    // Read at most one byte more than allowed: a file that grew since fstat
    // is refused all the same.
    std::string text;
    text.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const std::size_t room = maxBytes - text.size();
        const std::size_t want = room < sizeof buf ? room + 1 : sizeof buf;
        const ssize_t n = ::read(fd.get(), buf, want);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = Reason(errno);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > maxBytes) {
            error = tooLarge;
            return std::nullopt;
        }
    }
    error.clear();
    return FromText(std::move(text));
}

bool Profile::Save(const std::string& path, std::string& error) const {
    return WriteFileAtomically(path, text_, error);
}

} // namespace ini
