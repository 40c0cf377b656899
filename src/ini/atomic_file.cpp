#include "ini/atomic_file.h"

#include "ini/unique_fd.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ini {

namespace {

std::string Reason(int err) {
    return std::strerror(err);
}

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

// The temporary file of a save is named ".<name>.saving-" and six random
// letters or digits, beside the file it replaces. While the save runs it holds
// a lock on that file, up to and through the rename.
constexpr std::size_t kRandomLetters = 6;

std::string TempPrefix(const std::string& base) {
    std::string prefix(".");
    prefix.append(base, 0, 64);
    prefix.append(".saving-");
    return prefix;
}

bool IsTempName(const char* name, const std::string& prefix) {
    const std::size_t length = std::strlen(name);
    if (length != prefix.size() + kRandomLetters ||
        std::strncmp(name, prefix.data(), prefix.size()) != 0)
        return false;
    for (std::size_t i = prefix.size(); i < length; ++i) {
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A fresh temporary file, created and locked. Another save's clean-up may
// take a file between its creation and the lock; it then removes it, and a
// new name is drawn. On a file system without locks the file is used
// unlocked (and no clean-up ever removes it while in use: it cannot lock it
// either).
int CreateLockedTemp(const std::string& dir, const std::string& prefix, std::string& tmp,
                     int& err) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        tmp = dir + prefix + std::string(kRandomLetters, 'X');
        const int fd = ::mkstemp(tmp.data());
        if (fd < 0) {
            err = errno;
            return -1;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK)
                return fd;
            ::close(fd); // being removed by a clean-up
            continue;
        }
        struct stat mine {};
        struct stat named {};
        if (::fstat(fd, &mine) == 0 && ::lstat(tmp.c_str(), &named) == 0 && SameFile(mine, named))
            return fd;
        ::close(fd); // removed by a clean-up before the lock
    }
    err = EEXIST;
    return -1;
}

// Removes the temporary files that earlier saves of the same file left
// behind when they were killed: only regular files with the save's own name
// pattern whose lock nobody holds, that is, of no save that is still running.
void RemoveStaleTemps(const std::string& dir, const std::string& prefix) {
    DIR* folder = ::opendir(dir.empty() ? "." : dir.c_str());
    if (folder == nullptr)
        return;
    const int dirFd = ::dirfd(folder);
    while (const struct dirent* entry = ::readdir(folder)) {
        if (!IsTempName(entry->d_name, prefix))
            continue;
        struct stat before {};
        if (::fstatat(dirFd, entry->d_name, &before, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(before.st_mode) || before.st_nlink != 1)
            continue;
        UniqueFd fd(::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || !SameFile(before, opened))
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue; // a save in progress, or a file system without locks
        struct stat now {};
        if (::fstatat(dirFd, entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            SameFile(now, opened))
            ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(folder);
}

// Whether an existing file of this status may be replaced.
bool Replaceable(const std::string& target, const struct stat& st, std::string& reason) {
    if (S_ISDIR(st.st_mode)) {
        reason = Reason(EISDIR);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = "not a regular file";
        return false;
    }
    if ((st.st_mode & 0222) == 0) {
        reason = kReadOnlyReason;
        return false;
    }
    if (::access(target.c_str(), W_OK) != 0) {
        reason = errno == EACCES ? kReadOnlyReason : Reason(errno);
        return false;
    }
    return true;
}

} // namespace

bool MayReplaceFile(const std::string& path, std::string& reason) {
    const std::string target = ResolveTarget(path);
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        reason = Reason(errno);
        return false;
    }
    return Replaceable(target, st, reason);
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error,
                         FileSync sync, FileAccess access) {
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
    if (exists && !Replaceable(target, old, error))
        return false;
    if (!exists && errno != ENOENT) {
        error = Reason(errno); // ENOTDIR, EACCES, ELOOP ... on the way there
        return false;
    }
    const mode_t mode = access == FileAccess::OwnerOnly ? 0600
                        : exists                        ? (old.st_mode & 07777)
                                                        : (0644 & ~CurrentUmask());

    // The temporary file sits beside the target, so the rename stays on one
    // file system and is atomic.
    const std::string tmpDir = slash == std::string::npos ? std::string() : dir;
    const std::string prefix = TempPrefix(base);
    // What earlier saves left when they were killed goes first, so a run of
    // killed saves never leaves more than the last one's file.
    RemoveStaleTemps(tmpDir, prefix);
    std::string tmp;
    int err = 0;
    UniqueFd fd(CreateLockedTemp(tmpDir, prefix, tmp, err));
    if (fd.get() < 0) {
        error = Reason(err);
        return false;
    }
    auto fail = [&](int code) {
        ::unlink(tmp.c_str());
        error = Reason(code);
        return false;
    };
    if (!WriteAll(fd.get(), text, err)) {
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
    if (sync == FileSync::ToDisk && ::fsync(fd.get()) != 0) {
        return fail(errno);
    }
    // The copy keeps the lock through the rename; closing the file itself
    // first reports a delayed write error.
    const UniqueFd lock(::dup(fd.get()));
    if (lock.get() < 0) {
        return fail(errno);
    }
    if (fd.Close() != 0) {
        return fail(errno);
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        return fail(errno);
    }
    if (sync == FileSync::ToDisk) {
        // Make the rename itself durable. The text is in place already: a
        // folder that cannot be synced costs durability only, not the save.
        UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dirFd.get() >= 0) {
            ::fsync(dirFd.get());
        }
    }
    error.clear();
    return true;
}

} // namespace ini
