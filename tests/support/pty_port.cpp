#include "support/pty_port.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace testing_support {

TempConfigDir::TempConfigDir() {
    char tmpl[] = "/tmp/koravel-test-XXXXXX";
    if (mkdtemp(tmpl) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    setenv("KORAVEL_CONFIG_DIR", path_.c_str(), 1);
}

TempConfigDir::~TempConfigDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    unsetenv("KORAVEL_CONFIG_DIR");
}

PtyPort::PtyPort(const std::string& configDir, int number) {
    char name[256] = {};
    struct termios raw {};
    cfmakeraw(&raw);
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    slavePath_ = name;
    std::filesystem::create_directories(configDir + "/ports");
    link_ = configDir + "/ports/com" + std::to_string(number);
    std::error_code ec;
    std::filesystem::remove(link_, ec);
    std::filesystem::create_symlink(slavePath_, link_);
}

PtyPort::~PtyPort() {
    std::error_code ec;
    std::filesystem::remove(link_, ec);
    close(slave_);
    if (master_ >= 0)
        close(master_);
}

void PtyPort::HangUp() {
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

koravel::Bytes PtyPort::ReadAvailable() {
    koravel::Bytes out;
    std::uint8_t buf[512];
    for (;;) {
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

void PtyPort::Write(const koravel::Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EAGAIN) {
            usleep(1000);
            continue;
        }
        if (n <= 0)
            throw std::runtime_error("write to pty master failed");
        done += static_cast<size_t>(n);
    }
    tcdrain(master_);
}

} // namespace testing_support
