#include "support/rig_process.h"
#include "support/loopback.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

extern char** environ;

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;

bool OnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

void ReadInto(int& fd, std::string& into) {
    if (fd < 0)
        return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) { // the writer closed its end
            ::close(fd);
            fd = -1;
        }
        return; // EAGAIN: nothing more for now
    }
}

} // namespace

bool HaveRigctld() {
    return OnPath("rigctld") && OnPath("rigctl");
}

std::uint16_t FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address = LoopbackAddress(0);
    std::uint16_t port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool LoopbackAccepts(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const sockaddr_in address = LoopbackAddress(port);
    const bool up = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return up;
}

ChildProcess::~ChildProcess() {
    Kill();
    if (outFd_ >= 0)
        ::close(outFd_);
    if (errFd_ >= 0)
        ::close(errFd_);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int rc = ::posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    ::fcntl(outFd_, F_SETFL, O_NONBLOCK);
    ::fcntl(errFd_, F_SETFL, O_NONBLOCK);
    if (rc != 0) {
        pid_ = -1;
        return false;
    }
    reaped_ = false;
    return true;
}

void ChildProcess::Drain() {
    ReadInto(outFd_, out_);
    ReadInto(errFd_, err_);
}

bool ChildProcess::Running() {
    if (pid_ < 0 || reaped_)
        return false;
    if (::waitpid(pid_, &status_, WNOHANG) == pid_)
        reaped_ = true;
    return !reaped_;
}

const std::string& ChildProcess::Out() {
    Drain();
    return out_;
}

const std::string& ChildProcess::Err() {
    Drain();
    return err_;
}

void ChildProcess::Signal(int signal) {
    if (Running())
        ::kill(pid_, signal);
}

std::optional<int> ChildProcess::Wait(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Running()) {
        Drain();
        if (Clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Drain();
    if (pid_ < 0 || !WIFEXITED(status_))
        return std::nullopt;
    return WEXITSTATUS(status_);
}

void ChildProcess::Kill() {
    if (!Running())
        return;
    ::kill(pid_, SIGKILL);
    if (::waitpid(pid_, &status_, 0) == pid_)
        reaped_ = true;
}

std::string RigctldProcess::Address() const {
    return "127.0.0.1:" + std::to_string(port_);
}

bool RigctldProcess::Start() {
    Stop();
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        process_.emplace();
        std::vector<std::string> args{"-m", "1", "-T", "127.0.0.1", "-t", std::to_string(port_)};
        if (withPtt_)
            args.insert(args.end(), {"-P", "RIG"});
        if (!process_->Start("rigctld", args))
            return false;
        // Up once it accepts; a failed bind ends it, and it is tried again.
        // Another test's server on the same port accepts too: ours must
        // still run a moment later.
        while (process_->Running() && Clock::now() < deadline) {
            if (LoopbackAccepts(port_)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                if (!process_->Running())
                    break;
                started_ = true;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // A port that another program holds: a first start takes another
        // free one (a restart keeps its port, which clients know).
        if (!started_ && LoopbackAccepts(port_))
            port_ = FreeLoopbackPort();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

void RigctldProcess::Stop() {
    process_.reset();
}

bool Rigctl(std::uint16_t port, const std::vector<std::string>& args) {
    std::vector<std::string> all{"-m", "2", "-r", "127.0.0.1:" + std::to_string(port)};
    all.insert(all.end(), args.begin(), args.end());
    ChildProcess rigctl;
    return rigctl.Start("rigctl", all) && rigctl.Wait(15000) == 0;
}

} // namespace testing_support
