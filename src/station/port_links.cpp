#include "station/port_links.h"

#include "station/config_dir.h"
#include "station/files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace koravel {

namespace {

bool InRange(int number) {
    return number >= kFirstPortNumber && number <= kLastPortNumber;
}

std::string RangeError() {
    return "a COM number goes from " + std::to_string(kFirstPortNumber) + " to " +
           std::to_string(kLastPortNumber);
}

std::string Reason(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// "com12" gives 12; names of another form (com012, com1.new42, ...) give 0.
int NumberOfLinkName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "com") != 0)
        return 0;
    int number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        number = number * 10 + (name[i] - '0');
    }
    return "com" + std::to_string(number) == name && InRange(number) ? number : 0;
}

fs::path Canonical(const std::string& path) {
    std::error_code ec;
    fs::path result = fs::canonical(path, ec);
    return ec ? fs::path() : result;
}

bool CheckDeviceTarget(const std::string& target, std::string& error) {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) {
        error = errno == ENOENT ? target + " does not exist" : Reason(target, errno);
        return false;
    }
    if (!S_ISCHR(st.st_mode)) {
        error = target + " is not a character device (a serial port is one)";
        return false;
    }
    return true;
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/')
        return path;
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    return ec ? path : (here / path).lexically_normal().string();
}

// What the device list knows of the device at path (any of its names).
const SerialDevice* FindDevice(const std::vector<SerialDevice>& devices, const fs::path& node) {
    for (const SerialDevice& device : devices) {
        if (Canonical(device.node) == node)
            return &device;
    }
    return nullptr;
}

} // namespace

PortTargetKind KindOfTarget(const std::string& target) {
    return IsNetworkTarget(target) ? PortTargetKind::Network : PortTargetKind::Device;
}

std::string PortsDir(const std::string& configDir) {
    return JoinPath(configDir, "ports");
}

std::string PortLinkPath(const std::string& configDir, int number) {
    return JoinPath(PortsDir(configDir), "com" + std::to_string(number));
}

std::optional<PortLink> ReadPortLink(const std::string& configDir, int number) {
    PortLink link;
    link.number = number;
    link.path = PortLinkPath(configDir, number);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(link.path, ec);
    if (ec || !fs::exists(status))
        return std::nullopt;
    link.isLink = fs::is_symlink(status);
    if (link.isLink) {
        link.target = fs::read_symlink(link.path, ec).string();
        if (ec)
            link.target.clear();
    }
    return link;
}

std::vector<PortLink> ReadPortLinks(const std::string& configDir) {
    std::vector<int> numbers;
    std::error_code ec;
    fs::directory_iterator it(PortsDir(configDir), ec);
    if (!ec) {
        for (const auto& entry : it) {
            if (const int number = NumberOfLinkName(entry.path().filename().string()))
                numbers.push_back(number);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    std::vector<PortLink> links;
    for (const int number : numbers) {
        if (auto link = ReadPortLink(configDir, number))
            links.push_back(std::move(*link));
    }
    return links;
}

bool SetPortLink(const std::string& configDir, int number, const std::string& target,
                 std::string& error) {
    if (!InRange(number)) {
        error = RangeError();
        return false;
    }
    if (target.empty()) {
        error = "no device given";
        return false;
    }
    std::string text = target;
    switch (KindOfTarget(target)) {
    case PortTargetKind::Device:
        text = Absolute(target);
        if (!CheckDeviceTarget(text, error))
            return false;
        break;
    case PortTargetKind::Network: {
        const auto address = ParseNetworkAddress(target, error);
        if (!address)
            return false;
        text = address->Url();
        break;
    }
    }

    if (!MakeFolders(PortsDir(configDir), error))
        return false;
    const std::string path = PortLinkPath(configDir, number);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = path + " is not a symbolic link; it is left as it is";
        return false;
    }
    // A reader finds the old link or the new one, never none.
    return ReplaceSymlink(path, text, error);
}

bool ClearPortLink(const std::string& configDir, int number, std::string& error) {
    if (!InRange(number)) {
        error = RangeError();
        return false;
    }
    const std::string path = PortLinkPath(configDir, number);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = errno == ENOENT ? "COM" + std::to_string(number) + " has no link (" + path + ")"
                                : Reason(path, errno);
        return false;
    }
    if (!S_ISLNK(st.st_mode)) {
        error = path + " is not a symbolic link; it is left as it is";
        return false;
    }
    if (::unlink(path.c_str()) != 0) {
        error = Reason("cannot remove " + path, errno);
        return false;
    }
    return true;
}

PortView ViewPort(const std::string& configDir, int number,
                  const std::vector<SerialDevice>& devices, const std::string& root) {
    PortView view;
    view.number = number;
    view.link = ReadPortLink(configDir, number);
    fs::path node;
    if (view.link && view.link->isLink &&
        KindOfTarget(view.link->target) == PortTargetKind::Network) {
        view.device = view.link->target;
        view.network = ParseNetworkAddress(view.link->target);
        view.present = true;
        return view;
    }
    if (view.link) {
        node = Canonical(view.link->path);
        if (node.empty()) {
            // A link that leads nowhere: the device it expects.
            view.device = view.link->isLink ? view.link->target : view.link->path;
            return view;
        }
        view.present = true;
        view.device = node.string();
    } else {
        if (number < 1)
            return view;
        const std::string name = "ttyS" + std::to_string(number - 1);
        view.device = JoinPath(JoinPath(root, "dev"), name);
        node = Canonical(view.device);
        view.present = !node.empty() && HasSerialHardware(name, root);
        if (!view.present)
            return view;
    }
    if (const SerialDevice* device = FindDevice(devices, node)) {
        view.device = device->node;
        view.description = device->description;
    }
    return view;
}

PortView ViewPort(const std::string& configDir, int number, const std::string& root) {
    return ViewPort(configDir, number, ListSerialDevices(root), root);
}

std::string PortSummary(const PortView& view) {
    std::string text = "COM" + std::to_string(view.number);
    if (!view.present)
        return text;
    text += "  " + view.device;
    if (!view.description.empty())
        text += "  " + view.description;
    return text;
}

} // namespace koravel
