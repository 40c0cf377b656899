#include "fake_port.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <vector>

namespace fuzz {

namespace {

constexpr const char* kPathPrefix = "fake:";
// Far above any descriptor the process really holds.
constexpr int kFirstFakeHandle = 1 << 24;
int nextHandle = kFirstFakeHandle;

std::vector<FakePort*>& Live() {
    static std::vector<FakePort*> live;
    return live;
}

int BadHandle() {
    errno = EBADF;
    return -1;
}

int Flock(int, int) {
    return 0;
}
int Fcntl(int, int, int) {
    return 0; // no flags to report or change
}
int GetAttributes(int, struct termios* t) {
    std::memset(t, 0, sizeof *t);
    return 0;
}
int SetAttributes(int, int, const struct termios*) {
    return 0;
}
std::uint16_t NoQueueSize(int) {
    return 0;
}

} // namespace

FakePort::FakePort() : fd_(nextHandle++), path_(kPathPrefix + std::to_string(fd_)) {
    Live().push_back(this);
}

FakePort::~FakePort() {
    std::erase(Live(), this);
}

const transport::SystemCalls& FakePort::Calls() {
    static const transport::SystemCalls calls{&FakePort::Open,
                                              &FakePort::Close,
                                              &FakePort::Read,
                                              &FakePort::Write,
                                              &FakePort::Ioctl,
                                              Flock,
                                              Fcntl,
                                              GetAttributes,
                                              SetAttributes,
                                              &FakePort::Flush,
                                              NoQueueSize,
                                              &FakePort::Poll};
    return calls;
}

FakePort* FakePort::Find(int fd) {
    for (FakePort* port : Live())
        if (port->fd_ == fd)
            return port;
    return nullptr;
}

std::size_t FakePort::Deliver(std::size_t n) {
    const std::size_t more = std::min(n, pending_.size() - waiting_);
    waiting_ += more;
    return more;
}

int FakePort::Open(const char* path, int) {
    const std::size_t prefix = std::strlen(kPathPrefix);
    if (std::strncmp(path, kPathPrefix, prefix) == 0) {
        const int fd = std::atoi(path + prefix);
        if (Find(fd) != nullptr)
            return fd;
    }
    errno = ENOENT;
    return -1;
}

int FakePort::Flush(int fd, int) {
    FakePort* p = Find(fd);
    if (p == nullptr)
        return BadHandle();
    // What has arrived is discarded; what is still on its way is not.
    p->pending_.erase(p->pending_.begin(),
                      p->pending_.begin() + static_cast<std::ptrdiff_t>(p->waiting_));
    p->waiting_ = 0;
    return 0;
}

int FakePort::Close(int fd) {
    return Find(fd) != nullptr ? 0 : BadHandle();
}

int FakePort::Ioctl(int fd, unsigned long request, int* arg) {
    FakePort* p = Find(fd);
    if (p == nullptr)
        return BadHandle();
    if (request == FIONREAD)
        *arg = static_cast<int>(std::min<std::size_t>(p->waiting_, 0xFFFF));
    else if (request == TIOCOUTQ)
        *arg = 0; // the line takes every byte at once
    return 0;
}

ssize_t FakePort::Read(int fd, void* buf, size_t count) {
    FakePort* p = Find(fd);
    if (p == nullptr)
        return BadHandle();
    ++p->reads_;
    if (p->failEvery_ != 0 && p->reads_ % p->failEvery_ == 0) {
        errno = EIO;
        return -1;
    }
    const std::size_t n = std::min(count, p->waiting_);
    auto* out = static_cast<std::uint8_t*>(buf);
    std::copy_n(p->pending_.begin(), n, out);
    p->consumed_.insert(p->consumed_.end(), out, out + n);
    p->pending_.erase(p->pending_.begin(), p->pending_.begin() + static_cast<std::ptrdiff_t>(n));
    p->waiting_ -= n;
    return static_cast<ssize_t>(n);
}

ssize_t FakePort::Write(int fd, const void* buf, size_t count) {
    FakePort* p = Find(fd);
    if (p == nullptr)
        return BadHandle();
    const auto* in = static_cast<const std::uint8_t*>(buf);
    p->written_.insert(p->written_.end(), in, in + count);
    ++p->writeCalls_;
    if (p->OnWrite)
        p->OnWrite(koravel::ByteView(in, count));
    return static_cast<ssize_t>(count);
}

int FakePort::Poll(struct pollfd* fds, nfds_t count, int) {
    int ready = 0;
    for (nfds_t i = 0; i < count; ++i) {
        const FakePort* p = Find(fds[i].fd);
        fds[i].revents = 0;
        if (p == nullptr)
            fds[i].revents = POLLNVAL;
        else if ((fds[i].events & POLLIN) != 0 && p->waiting_ > 0)
            fds[i].revents = POLLIN;
        ready += fds[i].revents != 0 ? 1 : 0;
    }
    return ready;
}

} // namespace fuzz
