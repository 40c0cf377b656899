// A made-up /dev and /sys tree in a temporary folder, laid out as the kernel
// and udev lay them out, for the device discovery to be given as its root.
#pragma once

#include <string>

namespace testing_support {

class FakeDeviceTree {
public:
    FakeDeviceTree();
    ~FakeDeviceTree();
    FakeDeviceTree(const FakeDeviceTree&) = delete;
    FakeDeviceTree& operator=(const FakeDeviceTree&) = delete;

    const std::string& root() const { return root_; }
    // root + "/dev/" + name.
    std::string Dev(const std::string& name) const;

    // /dev/<name>: a plain file, or a link to realDevice (a real character
    // device, for code that insists on one).
    void AddNode(const std::string& name, const std::string& realDevice = "");
    void RemoveNode(const std::string& name);
    // /dev/serial/by-id/<idName> -> ../../<name>, as udev makes it.
    void AddById(const std::string& idName, const std::string& name);

    // sysfs of a USB serial adapter: /sys/class/tty/<name>/device leads to
    // the port (ttyUSB: under the interface) or to the interface (ttyACM);
    // the USB device above holds idVendor, manufacturer, product, serial.
    struct Usb {
        std::string manufacturer;
        std::string product;
        std::string serial;
        bool portBelowInterface = true; // ttyUSB; false for ttyACM
    };
    void AddUsbTty(const std::string& name, const Usb& usb);
    // sysfs of an 8250-driven ttyS: its UART type (0: no port; negative: no
    // type file) and the driver of its device (serial8250 for the
    // placeholder ports).
    void AddUartTty(const std::string& name, int type, const std::string& driver);

private:
    void Write(const std::string& relative, const std::string& text) const;
    void Link(const std::string& relative, const std::string& target) const;
    std::string root_;
    int usbDevices_ = 0;
};

} // namespace testing_support
