// Reading a profile from disk and replacing it atomically.
#include "setup/ini.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
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

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now and reports the result (a delayed write error shows here).
    int Close() {
        const int r = ::close(fd_);
        fd_ = -1;
        return r;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const std::string& data, int& err) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            err = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The process's file-creation mask, read without changing it where the
// system allows (umask() itself always sets a new mask).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// The file that Save really replaces: a symbolic link is followed, so the
// link stays and its target gets the new text.
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

} // namespace

std::optional<Profile> Profile::Load(const std::string& path, std::string& error,
                                     std::size_t maxBytes) {
    // O_NONBLOCK keeps a FIFO or a device from blocking the open itself.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        error = Reason(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = Reason(errno);
        return std::nullopt;
    }
    if (S_ISDIR(st.st_mode)) {
        error = Reason(EISDIR);
        return std::nullopt;
    }
    const std::string tooLarge = "larger than " + SizeText(maxBytes);
    if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        error = tooLarge;
        return std::nullopt;
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }

    // Read at most one byte more than allowed: a file that grew since fstat,
    // or one that has no size (a pipe), is refused all the same.
    std::string text;
    if (S_ISREG(st.st_mode)) {
        text.reserve(static_cast<std::size_t>(st.st_size));
    }
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
    if (path.empty()) {
        error = Reason(ENOENT);
        return false;
    }
    if (path.back() == '/') {
        error = Reason(EISDIR);
        return false;
    }
    const std::string target = ResolveTarget(path);
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        error = Reason(EISDIR);
        return false;
    }
    if (!exists && errno != ENOENT) {
        error = Reason(errno); // ENOTDIR, EACCES, ELOOP ... on the way there
        return false;
    }
    const mode_t mode = exists ? (old.st_mode & 07777) : (0644 & ~CurrentUmask());

    // The temporary file sits beside the target, so the rename stays on one
    // file system and is atomic.
    std::string tmp =
        (slash == std::string::npos ? std::string() : dir) + "." + base.substr(0, 64) + ".XXXXXX";
    Fd fd(::mkstemp(tmp.data()));
    if (fd.get() < 0) {
        error = Reason(errno);
        return false;
    }
    auto fail = [&](int err) {
        ::unlink(tmp.c_str());
        error = Reason(err);
        return false;
    };
    int err = 0;
    if (!WriteAll(fd.get(), text_, err)) {
        return fail(err);
    }
    if (::fchmod(fd.get(), mode) != 0) {
        return fail(errno);
    }
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        // Keep the owner of a file written on another user's behalf; only
        // root may, and nothing is lost when it cannot.
        if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
            errno = 0;
        }
    }
    if (::fsync(fd.get()) != 0) {
        return fail(errno);
    }
    if (fd.Close() != 0) {
        return fail(errno);
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        return fail(errno);
    }
    // Make the rename itself durable.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) {
        ::fsync(dirFd.get());
    }
    error.clear();
    return true;
}

} // namespace ini
