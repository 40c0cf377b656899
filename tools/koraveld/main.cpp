// koraveld: the station server. One unit's port, shared by the window,
// koravelctl, web browsers and scripts at once.
#include "options.h"

#include "cat/omnirig_tlb.h"
#include "server/access.h"
#include "server/qt/http_server.h"
#include "server/qt/rig_follow.h"
#include "server/qt/station.h"
#include "server/qt/unit_listener.h"
#include "server/token_file.h"
#include "station/settings.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Time the CAT back end's rig threads get to end.
constexpr int kWorkersEndMs = 2000;

int wakeWrite = -1;

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite, &byte, 1);
}

void Log(const std::string& line) {
    std::fprintf(stderr, "koraveld: %s\n", line.c_str());
    std::fflush(stderr);
}

std::optional<QHostAddress> Address(const server::ListenAddress& listen, const char* option) {
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(listen.host))) {
        Log(std::string(option) + ": '" + listen.host + "' is not an IP address");
        return std::nullopt;
    }
    return address;
}

// The unit's COM number: the option's, else koravel.ini's, else 1.
std::optional<int> PortNumber(const koraveld::Options& options, koravel::Settings& settings) {
    std::string warning;
    settings = koravel::ReadSettings(koravel::SettingsPath(), warning);
    if (!warning.empty())
        Log(warning);
    if (options.port)
        return options.port;
    const std::optional<std::int32_t> saved = koravel::SavedPortNumber(settings);
    if (!saved) {
        Log(koravel::SettingsPath() + ": Serialport '" + settings.serialPort +
            "' is not an integer; give --port N");
        return std::nullopt;
    }
    return *saved > 0 ? *saved : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<koraveld::Options> options = koraveld::ParseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "koraveld: %s\nTry 'koraveld --help'.\n", error.c_str());
        return kExitUsage;
    }
    switch (options->action) {
    case koraveld::Options::Action::Help:
        std::fputs(koraveld::UsageText(), stdout);
        return 0;
    case koraveld::Options::Action::Version:
        std::printf("koraveld %s\n", KORAVEL_VERSION);
        return 0;
    case koraveld::Options::Action::ShowToken: {
        const auto token = server::LoadOrCreateToken(server::TokenPath(), error);
        if (!token) {
            Log(error);
            return kExitFailed;
        }
        std::printf("%s\n", token->c_str());
        return 0;
    }
    case koraveld::Options::Action::Serve:
        break;
    }

    // Before the CAT back end: its Hamlib set-up fixes the numeric locale
    // once, and the application object must not change it afterwards.
    QCoreApplication app(argc, argv);
    koravel::Settings settings;
    const std::optional<int> portNumber = PortNumber(*options, settings);
    const auto unitAddress = Address(options->unitListen, "--unit-listen");
    const auto httpAddress = Address(options->httpListen, "--http-listen");
    if (!portNumber || !unitAddress || !httpAddress)
        return kExitUsage;

    server::HttpConfig http;
    http.address = *httpAddress;
    http.port = options->httpListen.port;
    if (!server::IsLoopbackOnly(options->httpListen.host)) {
        const auto token = server::LoadOrCreateToken(server::TokenPath(), error);
        if (!token) {
            Log(error);
            return kExitFailed;
        }
        http.token = *token;
    }
    if (!options->tlsCert.empty())
        http.tls = server::TlsFiles{QString::fromStdString(options->tlsCert),
                                    QString::fromStdString(options->tlsKey)};

    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeWrite = wake[1];
        struct sigaction action {};
        action.sa_handler = OnSignal;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    QSocketNotifier stop(wake[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    int code = 0;
    {
        server::Station station(*portNumber, Log);
        server::UnitListener unitListener(station);
        if (!unitListener.Listen(*unitAddress, options->unitListen.port, error)) {
            Log("cannot listen on " + options->unitListen.Text() + " (unit protocol): " + error);
            return kExitFailed;
        }
        server::ListenAddress unitBound = options->unitListen;
        unitBound.port = unitListener.Port();
        Log("unit protocol on " + unitBound.Text() + " (tcp://" + unitBound.Text() +
            " as a COM port's network address)");
        if (!server::IsLoopbackOnly(options->unitListen.host))
            Log("WARNING: the unit-protocol port listens on " + unitBound.Text() +
                ", beyond this computer, and has no authentication: whoever reaches it can "
                "command the unit");
        server::HttpServer httpServer(station, http);
        if (!httpServer.Listen(error)) {
            Log("cannot listen on " + options->httpListen.Text() + " (HTTP): " + error);
            return kExitFailed;
        }
        server::ListenAddress httpBound = options->httpListen;
        httpBound.port = httpServer.Port();
        Log(std::string("web page and API on ") + (http.tls ? "https://" : "http://") +
            httpBound.Text() + "/" +
            (http.token ? " (the token is needed: koraveld --show-token)" : ""));

        std::unique_ptr<server::RigFollower> follower;
        if (options->follow) {
            if (!settings.rig1 && !settings.rig2)
                Log("--follow: no rig is chosen in " + koravel::SettingsPath() +
                    " (Rig1 or Rig2 of [OmniRig]); nothing to follow");
            follower =
                std::make_unique<server::RigFollower>(station, settings.rig1, settings.rig2, Log);
            station.LinkUp = [&follower] { follower->Start(); };
        }
        station.Start();
        app.exec();
        Log("stopping");
        follower.reset();
    }
    TOmniRigX::WaitForWorkers(kWorkersEndMs);
    return code;
}
