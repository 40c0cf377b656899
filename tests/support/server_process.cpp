#include "support/server_process.h"

#include "support/process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

namespace testing_support {

namespace {

constexpr int kStartMs = 30000;
constexpr int kStopMs = 10000;

} // namespace

bool ServerProcess::Start(const std::vector<std::string>& args, std::string& error,
                          const std::string& host) {
    std::vector<std::string> all = args;
    for (const char* option : {"--unit-listen", "--http-listen"}) {
        all.push_back(option);
        all.push_back(host + ":0");
    }
    if (!process.Start(BinPath("koraveld"), all)) {
        error = "cannot start koraveld";
        return false;
    }
    const std::regex unit("unit protocol on [^ ]*:([0-9]+) ");
    const std::regex http("web page and API on https?://[^ ]*:([0-9]+)/");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string output = process.Err();
        std::smatch m;
        if (unitPort == 0 && std::regex_search(output, m, unit))
            unitPort = std::stoi(m[1]);
        if (httpPort == 0 && std::regex_search(output, m, http))
            httpPort = std::stoi(m[1]);
        if (unitPort != 0 && httpPort != 0)
            return true;
        if (!process.Running()) {
            error = "koraveld ended: " + process.Err();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error = "koraveld did not say where it listens: " + process.Err();
    return false;
}

int ServerProcess::Stop() {
    if (!process.Running())
        return process.Wait(0).value_or(-1);
    process.Signal(SIGTERM);
    const std::optional<int> code = process.Wait(kStopMs);
    if (!code)
        process.Kill();
    return code.value_or(-1);
}

int ConnectTcp(const std::string& host, int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

HttpResult HttpCall(const std::string& host, int port, const std::string& method,
                    const std::string& target, const std::vector<std::string>& headers,
                    const std::string& body) {
    HttpResult result;
    const int fd = ConnectTcp(host, port);
    if (fd < 0)
        return result;
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: " + host + ":" +
                          std::to_string(port) + "\r\nConnection: close\r\n";
    for (const std::string& h : headers)
        request += h + "\r\n";
    if (!body.empty() || method == "POST")
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += "\r\n" + body;
    if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
        close(fd);
        return result;
    }
    std::string response;
    char buffer[4096];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 20000) > 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        response.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    const std::size_t end = response.find("\r\n\r\n");
    if (response.starts_with("HTTP/1.1 ") && end != std::string::npos) {
        result.status = std::stoi(response.substr(9, 3));
        result.head = response.substr(0, end);
        result.body = response.substr(end + 4);
    }
    return result;
}

} // namespace testing_support
