#include "transport/host_lookup.h"

#include "transport/port.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <system_error>
#include <thread>

namespace transport {

namespace {

// The resolver's code as LastCommError gives it.
std::int32_t ResolverError(int code) {
    if (code == EAI_SYSTEM)
        return errno != 0 ? errno : EIO;
#ifdef EAI_NODATA
    if (code == EAI_NODATA)
        return kHostNotFound;
#endif
    return code;
}

// What the waiting caller and the lookup's thread share; the last of the two
// to let go frees it.
struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    HostAddresses result;
};

} // namespace

HostAddresses ResolveWithSystem(const std::string& host, const std::string& service) {
    HostAddresses result;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    errno = 0;
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        result.error = ResolverError(rc);
        return result;
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        sockaddr_storage storage{};
        std::memcpy(&storage, a->ai_addr, std::min<std::size_t>(a->ai_addrlen, sizeof storage));
        result.addresses.push_back(storage);
        result.lengths.push_back(a->ai_addrlen);
    }
    ::freeaddrinfo(found);
    if (result.addresses.empty())
        result.error = kHostNotFound;
    return result;
}

HostAddresses LookUpHost(const std::string& host, std::uint16_t port,
                         std::chrono::milliseconds limit, const Resolver& resolve) {
    const std::string service = std::to_string(port);
    auto pending = std::make_shared<Pending>();
    try {
        std::thread([pending, resolve, host, service] {
            HostAddresses result = resolve(host, service);
            const std::lock_guard<std::mutex> lock(pending->mutex);
            pending->result = std::move(result);
            pending->finished = true;
            pending->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: look up here, unbounded, rather than not at all.
        return resolve(host, service);
    }
    std::unique_lock<std::mutex> lock(pending->mutex);
    if (!pending->done.wait_for(lock, limit, [&] { return pending->finished; })) {
        HostAddresses late;
        late.error = EAI_AGAIN;
        return late;
    }
    return std::move(pending->result);
}

} // namespace transport
