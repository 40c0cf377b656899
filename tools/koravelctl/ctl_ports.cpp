#include "ctl_ports.h"

#include "ctl_link.h"
#include "station/config_dir.h"
#include "station/port_links.h"
#include "station/serial_devices.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace ctl {

namespace {

namespace fs = std::filesystem;

bool ParseNumber(const std::string& text, int& number) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < koravel::kFirstPortNumber ||
        value > koravel::kLastPortNumber)
        return false;
    number = static_cast<int>(value);
    return true;
}

fs::path Canonical(const std::string& path) {
    std::error_code ec;
    fs::path result = fs::canonical(path, ec);
    return ec ? fs::path() : result;
}

// The COM numbers that lead to the device: its links, and for a ttyS without
// a link of its own number, that number.
std::string NumbersOf(const koravel::SerialDevice& device,
                      const std::vector<koravel::PortLink>& links) {
    const fs::path node = Canonical(device.node);
    std::string numbers;
    for (const auto& link : links) {
        if (!node.empty() && Canonical(link.path) == node)
            numbers += (numbers.empty() ? "COM" : ", COM") + std::to_string(link.number);
    }
    const std::string name = fs::path(device.node).filename().string();
    if (name.rfind("ttyS", 0) == 0) {
        const int number = std::atoi(name.c_str() + 4) + 1;
        bool linked = false;
        for (const auto& link : links)
            linked = linked || link.number == number;
        if (!linked && number <= koravel::kLastPortNumber)
            numbers += (numbers.empty() ? "COM" : ", COM") + std::to_string(number) + " (no link)";
    }
    return numbers.empty() ? "no COM number" : numbers;
}

int List(const std::string& configDir) {
    std::printf("config folder: %s\n", configDir.c_str());
    const auto links = koravel::ReadPortLinks(configDir);
    const auto devices = koravel::ListSerialDevices();

    std::printf("COM numbers in use:\n");
    if (links.empty())
        std::printf("  none\n");
    for (const auto& link : links) {
        if (!link.isLink) {
            std::printf("  COM%d  %s is not a symbolic link\n", link.number, link.path.c_str());
            continue;
        }
        const koravel::PortView view = koravel::ViewPort(configDir, link.number, devices);
        if (koravel::KindOfTarget(link.target) == koravel::PortTargetKind::Network) {
            std::printf("  COM%d  -> %s  %s\n", link.number, link.target.c_str(),
                        view.network ? "network port (ser2net, raw TCP)"
                                     : "not a network address (tcp://HOST:PORT)");
            continue;
        }
        std::string state = view.present ? "present" : "missing (not plugged in)";
        if (view.present && view.device != link.target)
            state += ": " + view.device;
        if (!view.description.empty())
            state += "  " + view.description;
        std::printf("  COM%d  -> %s  %s\n", link.number, link.target.c_str(), state.c_str());
    }

    std::printf("serial devices present:\n");
    if (devices.empty())
        std::printf("  none\n");
    for (const auto& device : devices) {
        std::string line = "  " + device.node;
        if (!device.description.empty())
            line += "  " + device.description;
        if (!device.byId.empty())
            line += "  " + device.byId;
        line += "  " + NumbersOf(device, links);
        std::printf("%s\n", line.c_str());
    }
    return kExitOk;
}

int Set(const std::string& configDir, int number, const std::string& device) {
    // A device by its by-id name when it has one, so that replugging keeps
    // the number; a network address as it is.
    const bool network = koravel::KindOfTarget(device) == koravel::PortTargetKind::Network;
    const std::string target = network ? device : koravel::PreferredDevicePath(device);
    const auto before = koravel::ReadPortLink(configDir, number);
    std::string error;
    if (!koravel::SetPortLink(configDir, number, target, error)) {
        std::fprintf(stderr, "koravelctl: COM%d not set: %s\n", number, error.c_str());
        return kExitUsage;
    }
    const auto after = koravel::ReadPortLink(configDir, number);
    std::printf("COM%d -> %s", number, after ? after->target.c_str() : target.c_str());
    if (before && before->isLink && (!after || before->target != after->target))
        std::printf("  (was -> %s)", before->target.c_str());
    std::printf("\n");
    return kExitOk;
}

int Clear(const std::string& configDir, int number) {
    const auto before = koravel::ReadPortLink(configDir, number);
    std::string error;
    if (!koravel::ClearPortLink(configDir, number, error)) {
        std::fprintf(stderr, "koravelctl: COM%d not cleared: %s\n", number, error.c_str());
        return kExitUsage;
    }
    std::printf("COM%d cleared (was -> %s)\n", number, before ? before->target.c_str() : "?");
    return kExitOk;
}

} // namespace

int RunPorts(const std::vector<std::string>& args) {
    const std::string configDir = koravel::ConfigDir();
    if (args.empty())
        return List(configDir);
    int number = 0;
    if (args[0] == "set" && args.size() == 3 && ParseNumber(args[1], number))
        return Set(configDir, number, args[2]);
    if (args[0] == "clear" && args.size() == 2 && ParseNumber(args[1], number))
        return Clear(configDir, number);
    std::fprintf(stderr, "koravelctl: usage: ports | ports set N DEVICE | "
                         "ports set N tcp://HOST:PORT | ports clear N (N from 1 to 255)\n");
    return kExitUsage;
}

} // namespace ctl
