#include "child_program.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace koravel::test {

ChildProgram::ChildProgram(const std::string& path, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env) {
    char pattern[] = "/tmp/koravel-child-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return;
    outDir_ = pattern;

    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (env.find(name) == env.end())
            envText.push_back(entry);
    }
    for (const auto& [name, value] : env)
        envText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : envText)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::vector<std::string> argText{path};
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argText)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string outPath = outDir_ + "/out";
    const std::string errPath = outDir_ + "/err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0)
        pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProgram::~ChildProgram() {
    if (pid_ > 0 && !done_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (!outDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(outDir_, ec);
    }
}

void ChildProgram::Signal(int sig) const {
    if (pid_ > 0 && !done_)
        ::kill(pid_, sig);
}

bool ChildProgram::Wait(int timeoutMs) {
    if (pid_ <= 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done_) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            done_ = true;
            exited_ = WIFEXITED(status);
            exitCode_ = exited_ ? WEXITSTATUS(status) : -1;
            signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            break;
        }
        if (r < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string ChildProgram::Out() const {
    return FileText(outDir_ + "/out");
}

std::string ChildProgram::Err() const {
    return FileText(outDir_ + "/err");
}

std::map<std::string, std::string> KoravelEnv(const std::string& dir,
                                              const std::string& tracePath) {
    return {{"QT_QPA_PLATFORM", "offscreen"},
            {"KORAVEL_CONFIG_DIR", dir},
            {"KORAVEL_TRACE", tracePath}};
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int TraceLines(const std::string& tracePath, const char* direction) {
    std::istringstream text(FileText(tracePath));
    const std::string prefix = std::string(direction) + " ";
    int count = 0;
    for (std::string line; std::getline(text, line);) {
        if (line.rfind(prefix, 0) == 0)
            ++count;
    }
    return count;
}

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace koravel::test
