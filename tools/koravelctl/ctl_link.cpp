#include "ctl_link.h"

#include "transport/comm32.h"
#include "station/config_dir.h"
#include "unit/exchange.h"
#include "transport/network_address.h"
#include "station/open_failure.h"
#include "ini/integer.h"
#include "station/settings.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

using Clock = std::chrono::steady_clock;
Clock::time_point lastTick;

int openedPort = 0;
// A network port's connection as last reported: up until told otherwise.
bool reportedDown = false;

void PlayTicks() {
    const auto now = Clock::now();
    while (now - lastTick >= std::chrono::milliseconds(exchange::kTickMs)) {
        exchange::TimerTick();
        lastTick += std::chrono::milliseconds(exchange::kTickMs);
    }
}

} // namespace

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

bool OpenUnitPort(int number) {
    openedPort = number;
    comm32::ClosePort();
    if (comm32::OpenPort("bio" + std::to_string(number)) == 0)
        comm32::ConfigurePort(19200, 'n', 8, 1, 'N');
    if (comm32::LastCommError != 0) {
        const std::string reason = koravel::OpenFailureText(koravel::ExamineOpenFailure(
            koravel::ConfigDir(), number, comm32::LastCommError, comm32::ServerText()));
        std::fprintf(stderr, "koravelctl: %s\n", reason.c_str());
        return false;
    }
    return true;
}

void InstallClockHooks(std::function<void()> processMessages) {
    lastTick = Clock::now();
    if (processMessages) {
        exchange::ExchangeHooks.ProcessMessages = [processMessages = std::move(processMessages)] {
            processMessages();
            PlayTicks();
        };
    } else {
        exchange::ExchangeHooks.ProcessMessages = PlayTicks;
    }
    // No Sleep hook: the exchange's waits end as soon as the unit's bytes
    // arrive at the port.
    exchange::ExchangeHooks.Sleep = nullptr;
    exchange::ExchangeEnabled = true;
}

void ReportConnection(const std::function<void(const std::string&)>& print) {
    comm32::ServicePort();
    const std::optional<comm32::NetworkState> state = comm32::NetworkPortState();
    if (!state || state->connected == !reportedDown)
        return;
    if (state->connected) {
        reportedDown = false;
        print("COM" + std::to_string(openedPort) + " (" + koravel::kNetworkScheme + state->address +
              "): connected again");
        return;
    }
    // A failed attempt after the drop is no news; the drop is.
    reportedDown = true;
    print(koravel::ConnectionDownText(openedPort, state->address, state->error, state->serverText));
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

StatusResult QueryStatus() {
    StatusResult r;
    r.code = exchange::Transact(koravel::kCommandStatus, koravel::Bytes{}, false, 2, 200);
    if (r.code == exchange::kNoReply)
        return r;
    // The exchange keeps the payload; the decoder wants the whole content.
    koravel::Bytes content{static_cast<std::uint8_t>(exchange::SequenceCounter & 0xFF), r.code};
    content.insert(content.end(), exchange::ReplyBuffer.begin(), exchange::ReplyBuffer.end());
    r.reply = koravel::DecodeStatusReply(content);
    return r;
}

int ExitCodeFor(std::uint8_t result, const char* what) {
    if (result == 0)
        return kExitOk;
    if (result == exchange::kNoReply) {
        std::fprintf(stderr, "koravelctl: %s: no reply from the unit\n", what);
        return kExitNoReply;
    }
    std::fprintf(stderr, "koravelctl: %s: the unit answered status %u\n", what, result);
    return kExitRefused;
}

std::string DirectionName(std::uint8_t direction) {
    switch (direction) {
    case koravel::kDirectionNormal:
        return "normal";
    case koravel::kDirectionReversed:
        return "180";
    case koravel::kDirectionBidirectional:
        return "bidir";
    default:
        return "unknown(" + std::to_string(direction) + ")";
    }
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
