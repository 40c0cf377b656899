#include "program_env.h"

#include "support/process.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace install_test {

Environment::~Environment() {
    for (const auto& [name, value] : saved_) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

void Environment::Save(const std::string& name) {
    if (saved_.count(name) != 0)
        return;
    const char* value = std::getenv(name.c_str());
    saved_[name] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void Environment::Set(const std::string& name, const std::string& value) {
    Save(name);
    ::setenv(name.c_str(), value.c_str(), 1);
}

void Environment::Unset(const std::string& name) {
    Save(name);
    ::unsetenv(name.c_str());
}

TempFolder::TempFolder() {
    char tmpl[] = "/tmp/koravel-install-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string CopyProgram(const std::string& name, const std::string& folder) {
    fs::create_directories(folder);
    const std::string to = folder + "/" + name;
    fs::copy_file(testing_support::BinPath(name), to, fs::copy_options::overwrite_existing);
    return to;
}

std::string StartSim(testing_support::ChildProcess& sim, const std::string& path, int port) {
    if (!sim.Start(path, {"--port", std::to_string(port), "--no-pace"}))
        return {};
    // "kv100-sim: COM<port> is <link> -> <pseudo-terminal>"
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string& out = sim.Out();
        const auto end = out.find('\n');
        if (end != std::string::npos) {
            const auto from = out.find(" is ");
            const auto to = out.find(" -> ");
            if (from == std::string::npos || to == std::string::npos || to > end)
                return {};
            return out.substr(from + 4, to - from - 4);
        }
        if (!sim.Running())
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

int Mode(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

bool Catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            return (mask >> (signal - 1)) & 1u;
        }
    }
    return false;
}

} // namespace install_test
