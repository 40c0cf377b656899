#include "ctl_link.h"

#include "ini/integer.h"
#include "protocol/commands.h"
#include "station/com_port.h"
#include "station/config_dir.h"
#include "station/open_failure.h"
#include "station/settings.h"
#include "transport/network_address.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace ctl {

namespace {

volatile std::sig_atomic_t interrupted = 0;
// Self-pipe: the handler writes one byte, an event loop reads the other end.
int wakeRead = -1;
int wakeWrite = -1;
void OnSignal(int) {
    interrupted = 1;
    if (wakeWrite >= 0) {
        const int saved = errno;
        const char byte = 1;
        (void)!::write(wakeWrite, &byte, 1);
        errno = saved;
    }
}

} // namespace

Link::Link() : loop(unit) {}

std::optional<int> DefaultPortNumber() {
    const std::string path = koravel::SettingsPath();
    std::string warning;
    const koravel::Settings settings = koravel::ReadSettings(path, warning);
    if (!warning.empty())
        std::fprintf(stderr, "koravelctl: settings not read, port 1 used: %s\n", warning.c_str());
    const std::optional<std::int32_t> number = koravel::SavedPortNumber(settings);
    if (!number) {
        std::fprintf(stderr, "koravelctl: %s: Serialport: %s; give the port with --port N\n",
                     path.c_str(), setup::NotAnIntegerMessage(settings.serialPort).c_str());
        return std::nullopt;
    }
    // The window saves 0 when its last open failed: port 1 then, as with no
    // settings at all.
    return *number >= 1 ? *number : 1;
}

void OpenTraceFromEnvironment(Link& link) {
    const char* path = std::getenv("KORAVEL_TRACE");
    if (path == nullptr || *path == '\0')
        return;
    auto trace = std::make_unique<koravel::FrameTrace>();
    if (!trace->Open(path)) {
        std::fprintf(stderr, "koravelctl: cannot write the frame trace %s: %s\n", path,
                     std::strerror(errno));
        return;
    }
    link.trace = std::move(trace);
    link.unit.trace = link.trace.get();
}

int FinishOutput(int exitCode) {
    // A write error may show only at the flush, or only at the close.
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    const int error = errno;
    const bool closeFailed = std::fclose(stdout) != 0;
    if (!failed && !closeFailed)
        return exitCode;
    std::fprintf(stderr, "koravelctl: cannot write the output: %s\n",
                 std::strerror(failed ? error : errno));
    return exitCode == kExitOk ? kExitOutput : exitCode;
}

bool OpenUnitPort(unit::Unit& unit, int number) {
    const std::int32_t error = koravel::OpenComPort(unit.Port(), number);
    if (error != 0) {
        const std::string reason = koravel::OpenFailureText(koravel::ExamineOpenFailure(
            koravel::ConfigDir(), number, error, unit.Port().ServerText()));
        std::fprintf(stderr, "koravelctl: %s\n", reason.c_str());
        return false;
    }
    unit.SetExchangeEnabled(true);
    return true;
}

void ConnectionReport::Check(const std::function<void(const std::string&)>& print) {
    Check([&print](bool, const std::string& text) { print(text); });
}

void ConnectionReport::Check(const std::function<void(bool, const std::string&)>& print) {
    unit_.Port().Service();
    const std::optional<transport::NetworkState> state = unit_.Port().Network();
    if (!state || state->connected == !reportedDown_)
        return;
    if (state->connected) {
        reportedDown_ = false;
        print(true, "COM" + std::to_string(portNumber_) + " (" + koravel::kNetworkScheme +
                        state->address + "): connected again");
        return;
    }
    // A failed attempt after the drop is no news; the drop is.
    reportedDown_ = true;
    print(false, koravel::ConnectionDownText(portNumber_, state->address, state->error,
                                             state->serverText));
}

bool Interrupted() {
    return interrupted != 0;
}

int InterruptFd() {
    return wakeRead;
}

void InstallInterruptHandler() {
    int fds[2];
    if (wakeRead < 0 && ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead = fds[0];
        wakeWrite = fds[1];
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void QueryStatus(unit::Unit& unit, std::function<void(const StatusResult&)> done) {
    unit.Transact(koravel::kCommandStatus, {}, false, 2, 200,
                  [done = std::move(done)](const unit::Reply& reply) {
                      StatusResult r;
                      r.code = reply.status;
                      if (reply.status != unit::kNoReply) {
                          // The decoder wants the whole content.
                          koravel::Bytes content{reply.sequence, reply.status};
                          content.insert(content.end(), reply.payload.begin(), reply.payload.end());
                          r.reply = koravel::DecodeStatusReply(content);
                      }
                      done(r);
                  });
}

StatusResult QueryStatus(Link& link) {
    auto result = std::make_shared<std::optional<StatusResult>>();
    QueryStatus(link.unit, [result](const StatusResult& r) { *result = r; });
    link.loop.RunUntil([&result] { return result->has_value() || Interrupted(); });
    return result->value_or(StatusResult{});
}

void PrintLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int ExitCodeFor(std::uint8_t result, const char* what) {
    if (result == 0)
        return kExitOk;
    if (result == unit::kNoReply) {
        std::fprintf(stderr, "koravelctl: %s: no reply from the unit\n", what);
        return kExitNoReply;
    }
    std::fprintf(stderr, "koravelctl: %s: the unit answered status %u\n", what, result);
    return kExitRefused;
}

std::string DirectionName(std::uint8_t direction) {
    if (const char* name = koravel::DirectionName(direction))
        return name;
    return "unknown(" + std::to_string(direction) + ")";
}

std::string FormatStatus(const koravel::StatusReply& s) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "firmware %u.%u  frequency %u kHz (%u.%03u MHz)  direction %s  moving %s  "
                  "flags 0x%04X",
                  s.fwMajor, s.fwMinor, s.freqKhz, s.freqKhz / 1000, s.freqKhz % 1000,
                  DirectionName(s.direction).c_str(), s.moving != 0 ? "yes" : "no", s.flags);
    return line;
}

} // namespace ctl
