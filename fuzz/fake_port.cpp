#include "fake_port.h"

#include <algorithm>
#include <cerrno>
#include <sys/ioctl.h>

namespace fuzz {

namespace {
FakePort* current = nullptr;
constexpr comm32::Handle kFakeHandle = 1000;
} // namespace

FakePort::FakePort() : saved_(comm32::Sys), savedHandle_(comm32::PortHandle) {
    current = this;
    comm32::Sys.ioctl = &FakePort::Ioctl;
    comm32::Sys.read = &FakePort::Read;
    comm32::Sys.write = &FakePort::Write;
    comm32::Sys.poll = &FakePort::Poll;
    comm32::PortHandle = kFakeHandle;
    comm32::StatusSnapshot = comm32::CommStatus{};
    comm32::TxQueueSize = comm32::kQueueSize;
}

FakePort::~FakePort() {
    comm32::Sys = saved_;
    comm32::PortHandle = savedHandle_;
    current = nullptr;
}

std::size_t FakePort::Deliver(std::size_t n) {
    const std::size_t more = std::min(n, pending_.size() - waiting_);
    waiting_ += more;
    return more;
}

int FakePort::Ioctl(int fd, unsigned long request, int* arg) {
    if (fd != kFakeHandle || current == nullptr) {
        errno = EBADF;
        return -1;
    }
    if (request == FIONREAD) {
        *arg = static_cast<int>(std::min<std::size_t>(current->waiting_, 0xFFFF));
        return 0;
    }
    if (request == TIOCOUTQ) {
        *arg = 0; // the line takes every byte at once
        return 0;
    }
    return 0;
}

ssize_t FakePort::Read(int fd, void* buf, size_t count) {
    if (fd != kFakeHandle || current == nullptr) {
        errno = EBADF;
        return -1;
    }
    FakePort& p = *current;
    ++p.reads_;
    if (p.failEvery_ != 0 && p.reads_ % p.failEvery_ == 0) {
        errno = EIO;
        return -1;
    }
    std::size_t n = 0;
    auto* out = static_cast<std::uint8_t*>(buf);
    while (n < count && p.waiting_ > 0) {
        out[n] = p.pending_.front();
        p.consumed_.push_back(p.pending_.front());
        p.pending_.pop_front();
        --p.waiting_;
        ++n;
    }
    return static_cast<ssize_t>(n);
}

ssize_t FakePort::Write(int fd, const void* buf, size_t count) {
    if (fd != kFakeHandle || current == nullptr) {
        errno = EBADF;
        return -1;
    }
    FakePort& p = *current;
    const auto* in = static_cast<const std::uint8_t*>(buf);
    p.written_.insert(p.written_.end(), in, in + count);
    ++p.writeCalls_;
    if (p.OnWrite)
        p.OnWrite(koravel::ByteView(in, count));
    return static_cast<ssize_t>(count);
}

int FakePort::Poll(struct pollfd* fds, nfds_t count, int) {
    int ready = 0;
    for (nfds_t i = 0; i < count; ++i) {
        fds[i].revents = 0;
        if (fds[i].fd != kFakeHandle || current == nullptr)
            fds[i].revents = POLLNVAL;
        else if ((fds[i].events & POLLIN) != 0 && current->waiting_ > 0)
            fds[i].revents = POLLIN;
        ready += fds[i].revents != 0 ? 1 : 0;
    }
    return ready;
}

} // namespace fuzz
