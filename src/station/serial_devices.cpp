#include "station/serial_devices.h"

#include "station/config_dir.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

namespace fs = std::filesystem;

namespace koravel {

namespace {

// Kernel names of serial devices, by prefix; a number follows.
constexpr const char* kSerialPrefixes[] = {"ttyUSB", "ttyACM", "ttyAMA", "ttyS"};

// Splits "ttyUSB12" into "ttyUSB" and 12; false when no number ends it.
bool SplitKernelName(const std::string& name, std::string& prefix, unsigned long& number) {
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        --digits;
    if (digits == name.size() || name.size() - digits > 9)
        return false;
    prefix = name.substr(0, digits);
    number = std::stoul(name.substr(digits));
    return true;
}

bool IsSerialName(const std::string& name) {
    std::string prefix;
    unsigned long number = 0;
    if (!SplitKernelName(name, prefix, number))
        return false;
    return std::find(std::begin(kSerialPrefixes), std::end(kSerialPrefixes), prefix) !=
           std::end(kSerialPrefixes);
}

// Order of the list: by kind, then by number (ttyUSB2 before ttyUSB10).
std::tuple<std::string, unsigned long, std::string> SortKey(const std::string& node) {
    const std::string name = fs::path(node).filename().string();
    std::string prefix;
    unsigned long number = 0;
    if (!SplitKernelName(name, prefix, number))
        return {name, 0, name};
    return {prefix, number, name};
}

// The first line of a sysfs attribute, without surrounding blanks.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    const auto first = line.find_first_not_of(" \t\r");
    const auto last = line.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
}

fs::path Canonical(const fs::path& path) {
    std::error_code ec;
    fs::path result = fs::canonical(path, ec);
    return ec ? fs::path() : result;
}

fs::path TtyClassDir(const std::string& root, const std::string& kernelName) {
    return fs::path(JoinPath(root, "sys/class/tty")) / kernelName;
}

// The USB device above a tty: the nearest folder, going up from the tty's
// device, that holds idVendor (two levels up for ttyUSB, one for ttyACM).
fs::path UsbDeviceDir(const std::string& root, const std::string& kernelName) {
    fs::path dir = Canonical(TtyClassDir(root, kernelName) / "device");
    if (dir.empty())
        return {};
    const fs::path sysRoot = Canonical(JoinPath(root, "sys"));
    for (int level = 0; level < 4 && !dir.empty(); ++level) {
        std::error_code ec;
        if (fs::exists(dir / "idVendor", ec))
            return dir;
        if (dir == sysRoot || !dir.has_parent_path() || dir.parent_path() == dir)
            break;
        dir = dir.parent_path();
    }
    return {};
}

std::string UsbDescription(const fs::path& usb) {
    const std::string manufacturer = ReadAttribute(usb / "manufacturer");
    const std::string product = ReadAttribute(usb / "product");
    const std::string serial = ReadAttribute(usb / "serial");
    std::string text = product;
    // "Silicon Labs" + "CP2102 ..." reads as one; a product that already
    // names its maker is left as it is.
    if (!manufacturer.empty() && product.find(manufacturer) == std::string::npos)
        text = product.empty() ? manufacturer : manufacturer + " " + product;
    if (text.empty()) {
        const std::string vendor = ReadAttribute(usb / "idVendor");
        const std::string id = ReadAttribute(usb / "idProduct");
        if (!vendor.empty())
            text = "USB device " + vendor + ":" + id;
    }
    if (!serial.empty())
        text += text.empty() ? serial : " (" + serial + ")";
    return text;
}

// The 8250 driver's UART types that name a chip.
const char* UartName(int type) {
    switch (type) {
    case 1:
        return "8250";
    case 2:
        return "16450";
    case 3:
        return "16550";
    case 4:
        return "16550A";
    case 6:
        return "16650";
    case 7:
        return "16650V2";
    case 8:
        return "16750";
    case 10:
        return "16C950";
    case 12:
        return "16850";
    default:
        return nullptr;
    }
}

int UartType(const std::string& root, const std::string& kernelName, bool& known) {
    const std::string text = ReadAttribute(TtyClassDir(root, kernelName) / "type");
    known = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    }) && text.size() < 6;
    return known ? std::stoi(text) : 0;
}

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" as "FTDI FT232R USB UART A50285BI".
std::string ReadableById(std::string name) {
    for (const char* bus : {"usb-", "pci-", "platform-"}) {
        if (name.rfind(bus, 0) == 0) {
            name.erase(0, std::char_traits<char>::length(bus));
            break;
        }
    }
    if (const auto at = name.rfind("-if"); at != std::string::npos && at > 0) {
        const std::string tail = name.substr(at + 3);
        if (!tail.empty() && std::isdigit(static_cast<unsigned char>(tail[0])))
            name.erase(at);
    }
    std::replace(name.begin(), name.end(), '_', ' ');
    return name;
}

// Every by-id name with the node it leads to (canonical), one name per node.
std::map<fs::path, fs::path> ByIdNames(const std::string& root) {
    std::map<fs::path, fs::path> names;
    std::error_code ec;
    fs::directory_iterator it(JoinPath(root, "dev/serial/by-id"), ec);
    if (ec)
        return names;
    std::vector<fs::path> entries;
    for (const auto& entry : it)
        entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        const fs::path node = Canonical(entry);
        if (!node.empty())
            names.emplace(node, entry); // the first name of a node stays
    }
    return names;
}

std::string ByIdFor(const std::map<fs::path, fs::path>& names, const fs::path& node) {
    const auto found = names.find(Canonical(node));
    return found == names.end() ? std::string() : found->second.string();
}

std::string Describe(const std::string& node, const std::string& byId, const std::string& root) {
    const std::string name = fs::path(node).filename().string();
    if (IsSerialName(name) || !byId.empty()) {
        if (const fs::path usb = UsbDeviceDir(root, name); !usb.empty()) {
            if (std::string text = UsbDescription(usb); !text.empty())
                return text;
        }
    }
    if (IsSerialName(name)) {
        bool known = false;
        const int type = UartType(root, name, known);
        if (known && type != 0) {
            const char* uart = UartName(type);
            return uart != nullptr ? std::string("serial port (") + uart + ")"
                                   : std::string("serial port");
        }
        if (name.rfind("ttyAMA", 0) == 0 || name.rfind("ttyS", 0) == 0)
            return "serial port";
    }
    if (!byId.empty())
        return ReadableById(fs::path(byId).filename().string());
    return {};
}

} // namespace

bool HasSerialHardware(const std::string& kernelName, const std::string& root) {
    bool known = false;
    const int type = UartType(root, kernelName, known);
    if (known)
        return type != 0;
    // No UART type to read: a port that hangs off a device other than the
    // 8250 driver's own placeholder platform device is taken as real.
    const fs::path device = TtyClassDir(root, kernelName) / "device";
    if (Canonical(device).empty())
        return false;
    std::error_code ec;
    const fs::path driver = fs::read_symlink(device / "driver", ec);
    return ec || driver.filename() != "serial8250";
}

std::string DescribeSerialDevice(const std::string& node, const std::string& root) {
    return Describe(node, ByIdFor(ByIdNames(root), node), root);
}

std::string PreferredDevicePath(const std::string& path, const std::string& root) {
    const std::string byId = ByIdFor(ByIdNames(root), path);
    return byId.empty() ? path : byId;
}

std::vector<SerialDevice> ListSerialDevices(const std::string& root) {
    const auto byIdNames = ByIdNames(root);
    std::vector<SerialDevice> devices;
    std::vector<fs::path> listedNodes;

    const fs::path dev = JoinPath(root, "dev");
    std::error_code ec;
    fs::directory_iterator it(dev, ec);
    if (!ec) {
        for (const auto& entry : it) {
            const std::string name = entry.path().filename().string();
            if (!IsSerialName(name) || entry.is_directory(ec))
                continue;
            if (name.rfind("ttyS", 0) == 0 && !HasSerialHardware(name, root))
                continue;
            SerialDevice device;
            device.node = entry.path().string();
            device.byId = ByIdFor(byIdNames, entry.path());
            device.description = Describe(device.node, device.byId, root);
            listedNodes.push_back(Canonical(entry.path()));
            devices.push_back(std::move(device));
        }
    }
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return SortKey(a.node) < SortKey(b.node);
    });

    // Adapters whose node has a name of another kind (ttyXRUSB0, ...) are
    // known by their by-id name alone.
    for (const auto& [node, byId] : byIdNames) {
        if (std::find(listedNodes.begin(), listedNodes.end(), node) != listedNodes.end())
            continue;
        SerialDevice device;
        device.node = node.string();
        device.byId = byId.string();
        device.description = Describe(device.node, device.byId, root);
        devices.push_back(std::move(device));
    }
    return devices;
}

} // namespace koravel
