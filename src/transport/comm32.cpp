#include "transport/comm32.h"

#include "station/config_dir.h"
#include "transport/network_address.h"
#include "transport/network_port.h"
#include "transport/port_ops.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <netdb.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace comm32 {

static_assert(kHostNotFound == EAI_NONAME, "kHostNotFound is the resolver's EAI_NONAME");
static_assert(kHostNotFound != kShortWrite);

Port::Port() : ops(&DeviceOps()) {}
Port::~Port() = default;

Port ThePort;
Handle& PortHandle = ThePort.handle;
std::int32_t& LastCommError = ThePort.lastError;
std::uint16_t& TxQueueSize = ThePort.txQueueSize;
CommStatus& StatusSnapshot = ThePort.status;

namespace {

bool ParsePortNumber(const std::string& name, unsigned long& number) {
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

std::uint16_t Low16(std::uint32_t count) {
    return static_cast<std::uint16_t>(count & 0xFFFFu);
}

} // namespace

std::string ResolvePortPath(const std::string& name) {
    unsigned long number = 0;
    if (!ParsePortNumber(name, number))
        return {};
    std::string link = koravel::JoinPath(koravel::JoinPath(koravel::ConfigDir(), "ports"),
                                         "com" + std::to_string(number));
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0)
        return link;
    if (number == 0)
        return {};
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::int32_t ClosePort() {
    Port& port = ThePort;
    LastCommError = port.ops->close(port);
    port.handle = kNoHandle;
    port.network.reset();
    port.ops = &DeviceOps();
    return LastCommError;
}

std::int32_t OpenPort(const std::string& name) {
    if (PortHandle != kNoHandle)
        ClosePort();
    const std::string path = ResolvePortPath(name);
    if (path.empty()) {
        LastCommError = ENOENT;
        return LastCommError;
    }
    // A link whose text is a network address stands for a network port; it
    // leads nowhere in the file system.
    const std::string linkText = LinkText(path);
    const bool network = koravel::IsNetworkTarget(linkText);
    const PortOps& ops = network ? NetworkOps() : DeviceOps();
    Port& port = ThePort;
    port.ops = &ops;
    LastCommError = ops.open(port, network ? linkText : path);
    if (LastCommError != 0) {
        port.handle = kNoHandle;
        port.network.reset();
        port.ops = &DeviceOps();
        return LastCommError;
    }
    StatusSnapshot = CommStatus{};
    // A network port's queue has no size to report either.
    const std::uint16_t reported = network ? 0 : Sys.txQueueSize(port.handle);
    TxQueueSize = reported == 0 ? kQueueSize : reported;
    return LastCommError;
}

std::int32_t ConfigurePort(std::uint32_t baud, char parity, int dataBits, int stopBits, char flow) {
    Port& port = ThePort;
    const std::int32_t error =
        port.ops->configure(port, LineSettings{baud, parity, dataBits, stopBits, flow});
    LastCommError = error;
    if (error == 0)
        StatusSnapshot = CommStatus{};
    return error;
}

std::uint16_t InputCount() {
    Port& port = ThePort;
    std::uint32_t count = 0;
    if (port.handle == kNoHandle || !port.ops->inputCount(port, count))
        return 0;
    StatusSnapshot.inQue = Low16(count);
    return StatusSnapshot.inQue;
}

std::uint16_t OutputCount() {
    Port& port = ThePort;
    std::uint32_t count = 0;
    // On failure the previous snapshot's count stands.
    if (port.handle != kNoHandle && port.ops->outputCount(port, count))
        StatusSnapshot.outQue = Low16(count);
    return StatusSnapshot.outQue;
}

bool ReadByte(std::uint8_t& byte) {
    if (InputCount() == 0)
        return false;
    return ThePort.ops->readByte(ThePort, byte);
}

void WriteText(koravel::ByteView bytes) {
    Port& port = ThePort;
    const long room = static_cast<long>(TxQueueSize) - static_cast<long>(OutputCount());
    if (room < static_cast<long>(bytes.size()))
        return; // does not fit: dropped whole, error code left as it was
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = port.ops->write(port, bytes.subspan(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            LastCommError = done > 0 ? kShortWrite : errno;
            return;
        }
        if (n == 0) {
            LastCommError = kShortWrite;
            return;
        }
        done += static_cast<size_t>(n);
    }
    LastCommError = 0;
}

bool WaitForInput(int ms) {
    Port& port = ThePort;
    if (port.handle == kNoHandle) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(ms, 0)));
        return false;
    }
    return port.ops->waitForInput(port, std::max(ms, 0));
}

std::optional<NetworkState> NetworkPortState() {
    if (PortHandle == kNoHandle || !ThePort.network)
        return std::nullopt;
    return ThePort.network->State();
}

std::string ServerText() {
    return NetworkConnection::LastServerText();
}

void ServicePort() {
    Port& port = ThePort;
    if (port.handle != kNoHandle && port.ops->service != nullptr)
        port.ops->service(port);
}

} // namespace comm32
