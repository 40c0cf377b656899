#include "support/fake_devices.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

FakeDeviceTree::FakeDeviceTree() {
    char tmpl[] = "/tmp/koravel-devtree-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    root_ = tmpl;
    fs::create_directories(root_ + "/dev");
    fs::create_directories(root_ + "/sys/class/tty");
}

FakeDeviceTree::~FakeDeviceTree() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string FakeDeviceTree::Dev(const std::string& name) const {
    return root_ + "/dev/" + name;
}

void FakeDeviceTree::Write(const std::string& relative, const std::string& text) const {
    const fs::path path = fs::path(root_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
}

void FakeDeviceTree::Link(const std::string& relative, const std::string& target) const {
    const fs::path path = fs::path(root_) / relative;
    fs::create_directories(path.parent_path());
    fs::create_symlink(target, path);
}

void FakeDeviceTree::AddNode(const std::string& name, const std::string& realDevice) {
    if (realDevice.empty())
        std::ofstream(Dev(name)).put('\0');
    else
        fs::create_symlink(realDevice, Dev(name));
}

void FakeDeviceTree::RemoveNode(const std::string& name) {
    fs::remove(Dev(name));
}

void FakeDeviceTree::AddById(const std::string& idName, const std::string& name) {
    Link("dev/serial/by-id/" + idName, "../../" + name);
}

void FakeDeviceTree::AddUsbTty(const std::string& name, const Usb& usb) {
    const std::string device = "sys/devices/pci0000:00/usb1/1-" + std::to_string(++usbDevices_);
    if (!usb.manufacturer.empty())
        Write(device + "/manufacturer", usb.manufacturer);
    if (!usb.product.empty())
        Write(device + "/product", usb.product);
    if (!usb.serial.empty())
        Write(device + "/serial", usb.serial);
    Write(device + "/idVendor", "0403");
    Write(device + "/idProduct", "6001");
    const std::string interface = device + "/1-" + std::to_string(usbDevices_) + ":1.0";
    Write(interface + "/bInterfaceNumber", "00");
    const std::string port = usb.portBelowInterface ? interface + "/" + name : interface;
    fs::create_directories(fs::path(root_) / port);
    // /sys/class/tty/<name> is a folder here; its device link climbs back
    // to /sys and down to the port.
    Link("sys/class/tty/" + name + "/device", "../../../" + port.substr(4));
    Write("sys/class/tty/" + name + "/dev", "188:0");
}

void FakeDeviceTree::AddUartTty(const std::string& name, int type, const std::string& driver) {
    const std::string device = driver == "serial8250" ? "sys/devices/platform/serial8250"
                                                      : "sys/devices/pnp0/00:0" + name.substr(4);
    fs::create_directories(fs::path(root_) / device);
    Write("sys/bus/drivers/" + driver + "/bind", "");
    if (!fs::is_symlink(fs::path(root_) / device / "driver")) // placeholders share one device
        Link(device + "/driver", "../../../bus/drivers/" + driver);
    Link("sys/class/tty/" + name + "/device", "../../../" + device.substr(4));
    if (type >= 0)
        Write("sys/class/tty/" + name + "/type", std::to_string(type));
}

} // namespace testing_support
