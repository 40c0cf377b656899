#include "sim/command_line.h"

#include <charconv>
#include <limits>

namespace sim {

namespace {

template <typename T> bool ParseWhole(const std::string& text, T low, T high, T& value) {
    long long v = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || ptr != end || v < static_cast<long long>(low) ||
        v > static_cast<long long>(high))
        return false;
    value = static_cast<T>(v);
    return true;
}

bool ParseProbability(const std::string& text, double& value) {
    double v = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || ptr != end || !(v >= 0.0 && v <= 1.0))
        return false;
    value = v;
    return true;
}

// "MS" or "MIN-MAX", milliseconds from 0 to an hour.
bool ParseDelay(const std::string& text, Faults& faults) {
    constexpr int kHourMs = 3600000;
    const auto dash = text.find('-');
    int low = 0;
    int high = 0;
    if (dash == std::string::npos) {
        if (!ParseWhole(text, 0, kHourMs, low))
            return false;
    } else if (!ParseWhole(text.substr(0, dash), 0, kHourMs, low) ||
               !ParseWhole(text.substr(dash + 1), low, kHourMs, high)) {
        return false;
    }
    faults.delayMs = low;
    faults.delayMaxMs = high;
    return true;
}

bool ParseFirmware(const std::string& text, UnitConfig& unit) {
    const auto dot = text.find('.');
    if (dot == std::string::npos)
        return false;
    int major = 0;
    int minor = 0;
    if (!ParseWhole(text.substr(0, dot), 0, 255, major) ||
        !ParseWhole(text.substr(dot + 1), 0, 255, minor))
        return false;
    unit.fwMajor = static_cast<std::uint8_t>(major);
    unit.fwMinor = static_cast<std::uint8_t>(minor);
    return true;
}

} // namespace

std::string Usage() {
    return "Usage: kv100-sim [options]\n"
           "Plays the antenna's control unit on a pseudo-terminal linked as\n"
           "ports/com<N> in the config folder, until interrupted (the link is\n"
           "removed at exit).\n"
           "\n"
           "  --port N            port number of the link ports/com<N> (default 1)\n"
           "  --firmware MAJ.MIN  firmware version reported (default 1.13)\n"
           "  --frequency KHZ     frequency the elements start at, 0 to 65535\n"
           "                      (default 0: retracted)\n"
           "  --eeprom FILE       after every block write, rewrite FILE with one\n"
           "                      line per stored block: number, blank, bytes in hex\n"
           "  --trace FILE        write every frame both ways: rx/tx and its content\n"
           "  --no-pace           answer at once instead of at 19200 baud\n"
           "  --drop P            lose a request with probability P (0 to 1)\n"
           "  --corrupt P         send a reply with a bad checksum with probability P\n"
           "  --delay MS          hold each reply back MS milliseconds; requests that\n"
           "                      come meanwhile are taken in, replies keep their order\n"
           "  --delay MIN-MAX     the same, each reply by a time drawn from MIN to MAX\n"
           "  --fail-block N      refuse set-up block N (repeatable)\n"
           "  --noise P           send random bytes before a reply with probability P\n"
           "  --sequence-only     answer every request with its sequence byte alone (a\n"
           "                      frame of two bytes: sequence and checksum); the unit\n"
           "                      still carries the request out\n"
           "  --no-status-replies never answer status requests (command 1); other\n"
           "                      requests are answered\n"
           "  --seed N            seed of the fault dice (default 1)\n"
           "  --config-dir DIR    config folder (default: KORAVEL_CONFIG_DIR, else\n"
           "                      the program's folder when it holds koravel.ini,\n"
           "                      else $XDG_CONFIG_HOME/koravel, ~/.config/koravel)\n"
           "  --help              show this text\n"
           "  --version           show the version\n"
           "\n"
           "On start one line tells where the port is, for example\n"
           "  kv100-sim: COM1 is /path/ports/com1 -> /dev/pts/5\n";
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, Options& options,
                             std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (name.rfind("--", 0) == 0) {
            const auto eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
                inlineValue = true;
            }
        }
        if (name == "--help" || name == "-h")
            return CommandLine::Help;
        if (name == "--version")
            return CommandLine::Version;
        if (name == "--no-pace" || name == "--sequence-only" || name == "--no-status-replies") {
            if (inlineValue) {
                error = name + " takes no value";
                return CommandLine::Error;
            }
            if (name == "--no-pace")
                options.pace = false;
            else if (name == "--sequence-only")
                options.faults.sequenceOnly = true;
            else
                options.faults.silentStatus = true;
            continue;
        }
        static const char* const kWithValue[] = {
            "--port",    "--firmware", "--frequency",  "--eeprom", "--trace", "--drop",
            "--corrupt", "--delay",    "--fail-block", "--noise",  "--seed",  "--config-dir"};
        bool known = false;
        for (const char* option : kWithValue)
            known = known || name == option;
        if (!known) {
            error =
                (name.rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + args[i];
            return CommandLine::Error;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return CommandLine::Error;
            }
            value = args[++i];
        }
        bool ok = true;
        std::string expected;
        if (name == "--port") {
            ok = ParseWhole(value, 1, 1000000, options.port);
            expected = "a port number from 1";
        } else if (name == "--firmware") {
            ok = ParseFirmware(value, options.unit);
            expected = "MAJOR.MINOR, each 0 to 255";
        } else if (name == "--frequency") {
            ok = ParseWhole<std::uint16_t>(value, 0, 65535, options.unit.startFrequencyKhz);
            expected = "kHz from 0 to 65535";
        } else if (name == "--eeprom" || name == "--trace" || name == "--config-dir") {
            ok = !value.empty();
            expected = "a path";
            if (ok && name == "--eeprom")
                options.eepromFile = value;
            else if (ok && name == "--trace")
                options.traceFile = value;
            else if (ok)
                options.configDir = value;
        } else if (name == "--drop") {
            ok = ParseProbability(value, options.faults.drop);
            expected = "a probability from 0 to 1";
        } else if (name == "--corrupt") {
            ok = ParseProbability(value, options.faults.corrupt);
            expected = "a probability from 0 to 1";
        } else if (name == "--noise") {
            ok = ParseProbability(value, options.faults.noise);
            expected = "a probability from 0 to 1";
        } else if (name == "--delay") {
            ok = ParseDelay(value, options.faults);
            expected = "milliseconds from 0 to 3600000, or MIN-MAX with MIN <= MAX";
        } else if (name == "--fail-block") {
            int block = 0;
            ok = ParseWhole(value, 0, 65535, block);
            expected = "a block number from 0 to 65535";
            if (ok)
                options.faults.failBlocks.insert(block);
        } else if (name == "--seed") {
            ok = ParseWhole<std::uint32_t>(value, 0, std::numeric_limits<std::uint32_t>::max(),
                                           options.seed);
            expected = "a whole number from 0 to 4294967295";
        }
        if (!ok) {
            error = "bad value '" + value + "' for " + name + ": expected " + expected;
            return CommandLine::Error;
        }
    }
    return CommandLine::Run;
}

} // namespace sim
