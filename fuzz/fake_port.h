// A serial device that is no device: a table of system calls for a
// transport::Port whose descriptor stands for a queue of bytes that the fuzz
// target hands out chunk by chunk, and a record of what was written. A wait
// on it takes no time: it reports at once whether bytes are waiting. Each
// instance has a descriptor of its own, so several may live at once; a port
// reaches one by opening Path() with Calls().
#pragma once

#include "protocol/bytes.h"
#include "transport/port.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace fuzz {

class FakePort {
public:
    FakePort();
    ~FakePort();
    FakePort(const FakePort&) = delete;
    FakePort& operator=(const FakePort&) = delete;

    // The calls that reach fake devices (real ones are never touched), and
    // the path that opens this one.
    static const transport::SystemCalls& Calls();
    const std::string& Path() const { return path_; }

    // Bytes that arrive later: the receiving side sees them only once they
    // are made waiting by Deliver.
    void Queue(koravel::ByteView bytes) {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    }
    // Makes up to n more bytes waiting. Returns how many.
    std::size_t Deliver(std::size_t n);
    std::size_t Waiting() const { return waiting_; }
    std::size_t Pending() const { return pending_.size(); }
    // Every nth read fails as a driver hiccup would (0: never).
    void FailEveryNthRead(unsigned n) { failEvery_ = n; }

    // Bytes taken by read, in order, and the writes one call each.
    const koravel::Bytes& Consumed() const { return consumed_; }
    const koravel::Bytes& Written() const { return written_; }
    std::size_t WriteCalls() const { return writeCalls_; }
    // Called with the bytes of each write, after they are recorded: a device
    // on the other end may answer by Queue and Deliver.
    std::function<void(koravel::ByteView)> OnWrite;

private:
    static FakePort* Find(int fd);
    static int Open(const char* path, int flags);
    static int Close(int fd);
    static int Flush(int fd, int queue);
    static int Ioctl(int fd, unsigned long request, int* arg);
    static ssize_t Read(int fd, void* buf, size_t count);
    static ssize_t Write(int fd, const void* buf, size_t count);
    static int Poll(struct pollfd* fds, nfds_t count, int timeoutMs);

    int fd_;
    std::string path_;
    std::deque<std::uint8_t> pending_;
    std::size_t waiting_ = 0; // the first waiting_ bytes of pending_
    unsigned failEvery_ = 0;
    unsigned reads_ = 0;
    koravel::Bytes consumed_;
    koravel::Bytes written_;
    std::size_t writeCalls_ = 0;
};

} // namespace fuzz
