// The serial devices present and the port links, on a made-up /dev and /sys
// tree given as the root folder.
#include "station/port_links.h"
#include "station/serial_devices.h"
#include "support/fake_devices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testing_support::FakeDeviceTree;

namespace koravel {
namespace {

const char* const kFtdiById = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

// A station's worth of devices: two USB adapters and a CDC modem, on-board
// ports with and without hardware, consoles that are no serial ports.
void FillStation(FakeDeviceTree& tree, const std::string& ftdiDevice = "") {
    tree.AddNode("ttyUSB0", ftdiDevice);
    tree.AddUsbTty("ttyUSB0", {"FTDI", "FT232R USB UART", "A50285BI", true});
    tree.AddById(kFtdiById, "ttyUSB0");
    // No sysfs for this one: its by-id name is all there is to go by.
    tree.AddNode("ttyUSB2");
    tree.AddById("usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0", "ttyUSB2");
    tree.AddNode("ttyUSB10");
    tree.AddUsbTty("ttyUSB10", {"Silicon Labs", "CP2102 USB to UART Bridge Controller", "", true});
    tree.AddNode("ttyACM0");
    tree.AddUsbTty("ttyACM0", {"Arduino (www.arduino.cc)", "Arduino Uno", "8573531", false});
    tree.AddById("usb-Arduino__www.arduino.cc__Arduino_Uno_8573531-if00", "ttyACM0");
    tree.AddNode("ttyS0");
    tree.AddUartTty("ttyS0", 4, "serial"); // a 16550A on the board
    tree.AddNode("ttyS1");
    tree.AddUartTty("ttyS1", 0, "serial8250"); // a placeholder: no port
    tree.AddNode("ttyS2");
    tree.AddUartTty("ttyS2", -1, "serial8250"); // no type to read, placeholder device
    tree.AddNode("ttyS3");
    tree.AddUartTty("ttyS3", -1, "serial"); // no type to read, a real device
    tree.AddNode("ttyS4");                  // nothing in sysfs at all
    // An adapter whose node has a name of its own kind.
    tree.AddNode("ttyXRUSB0");
    tree.AddById("usb-Exar_Corp._XR21V1410_USB_UART_L5GN-if00", "ttyXRUSB0");
    for (const char* other : {"tty0", "tty12", "console", "ttyprintk", "ptmx", "ttyUSB"})
        tree.AddNode(other);
    fs::create_directories(tree.Dev("ttyACM9")); // a folder is no device
}

TEST(SerialDevices, ListedByKindAndNumberWithWhatTheyAre) {
    FakeDeviceTree tree;
    FillStation(tree);
    const std::vector<SerialDevice> devices = ListSerialDevices(tree.root());

    std::vector<std::string> nodes;
    for (const auto& d : devices)
        nodes.push_back(fs::path(d.node).filename().string());
    EXPECT_EQ(nodes, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS3", "ttyUSB0", "ttyUSB2",
                                               "ttyUSB10", "ttyXRUSB0"}));
    ASSERT_EQ(devices.size(), 7u);

    const SerialDevice& acm = devices[0];
    EXPECT_EQ(acm.node, tree.Dev("ttyACM0"));
    EXPECT_EQ(acm.description, "Arduino (www.arduino.cc) Arduino Uno (8573531)");
    EXPECT_EQ(acm.Path(),
              tree.Dev("serial/by-id/usb-Arduino__www.arduino.cc__Arduino_Uno_8573531-if00"));
    EXPECT_EQ(devices[1].description, "serial port (16550A)");
    EXPECT_EQ(devices[1].Path(), tree.Dev("ttyS0")) << "no by-id name: the node itself";
    EXPECT_EQ(devices[2].description, "serial port");

    const SerialDevice& ftdi = devices[3];
    EXPECT_EQ(ftdi.description, "FTDI FT232R USB UART (A50285BI)");
    EXPECT_EQ(ftdi.byId, tree.Dev(std::string("serial/by-id/") + kFtdiById));
    EXPECT_EQ(ftdi.Path(), ftdi.byId);
    EXPECT_EQ(devices[4].description, "Prolific Technology Inc. USB-Serial Controller");
    EXPECT_EQ(devices[5].description, "Silicon Labs CP2102 USB to UART Bridge Controller");
    EXPECT_TRUE(devices[5].byId.empty());
    EXPECT_EQ(devices[6].node, tree.Dev("ttyXRUSB0"));
    EXPECT_EQ(devices[6].description, "Exar Corp. XR21V1410 USB UART L5GN");

    EXPECT_TRUE(HasSerialHardware("ttyS0", tree.root()));
    EXPECT_FALSE(HasSerialHardware("ttyS1", tree.root()));
    EXPECT_FALSE(HasSerialHardware("ttyS2", tree.root()));
    EXPECT_FALSE(HasSerialHardware("ttyS4", tree.root()));
    EXPECT_EQ(PreferredDevicePath(tree.Dev("ttyUSB0"), tree.root()), ftdi.byId);
    EXPECT_EQ(PreferredDevicePath(tree.Dev("ttyUSB10"), tree.root()), tree.Dev("ttyUSB10"));

    // Nothing there at all.
    FakeDeviceTree empty;
    EXPECT_TRUE(ListSerialDevices(empty.root()).empty());
    EXPECT_TRUE(ListSerialDevices(empty.root() + "/nowhere").empty());
}

struct ConfigFolder {
    ConfigFolder() {
        char tmpl[] = "/tmp/koravel-links-XXXXXX";
        base = ::mkdtemp(tmpl) != nullptr ? tmpl : "";
        dir = base + "/home/.config/koravel"; // not there yet
    }
    ~ConfigFolder() {
        std::error_code ec;
        fs::remove_all(base, ec);
    }
    std::string base;
    std::string dir;
};

int Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

TEST(PortLinks, SetViewAndClearWithTheRulesThatKeepOtherFilesSafe) {
    FakeDeviceTree tree;
    FillStation(tree, "/dev/null"); // the FTDI adapter is a real character device
    ConfigFolder config;
    std::string error;

    // Given by its node, kept by its by-id name; the folders are made private.
    const std::string byId = PreferredDevicePath(tree.Dev("ttyUSB0"), tree.root());
    ASSERT_TRUE(SetPortLink(config.dir, 3, byId, error)) << error;
    EXPECT_EQ(Mode(config.dir), 0700);
    EXPECT_EQ(Mode(PortsDir(config.dir)), 0700);
    EXPECT_EQ(fs::read_symlink(PortLinkPath(config.dir, 3)), byId);

    const std::vector<SerialDevice> devices = ListSerialDevices(tree.root());
    PortView com3 = ViewPort(config.dir, 3, devices, tree.root());
    EXPECT_TRUE(com3.present);
    EXPECT_EQ(PortSummary(com3),
              "COM3  " + tree.Dev("ttyUSB0") + "  FTDI FT232R USB UART (A50285BI)");
    // Without a link: ttyS<n-1>, when it has a port behind it.
    EXPECT_EQ(PortSummary(ViewPort(config.dir, 1, devices, tree.root())),
              "COM1  " + tree.Dev("ttyS0") + "  serial port (16550A)");
    EXPECT_EQ(PortSummary(ViewPort(config.dir, 2, devices, tree.root())), "COM2");
    EXPECT_EQ(PortSummary(ViewPort(config.dir, 9, devices, tree.root())), "COM9");

    // A link whose device is unplugged stands for nothing, but still says
    // which device it expects.
    const std::string gone = tree.Dev("serial/by-id/usb-FTDI_FT232R_USB_UART_GONE-if00-port0");
    fs::create_symlink(gone, PortLinkPath(config.dir, 7));
    const PortView com7 = ViewPort(config.dir, 7, devices, tree.root());
    EXPECT_FALSE(com7.present);
    EXPECT_EQ(com7.device, gone);
    EXPECT_EQ(PortSummary(com7), "COM7");

    // Only well-formed names count, in order.
    std::ofstream(PortsDir(config.dir) + "/com12") << "not a link";
    for (const char* stray : {"com1.new42", "com007", "com256", "com", "notes.txt"})
        std::ofstream(PortsDir(config.dir) + "/" + stray) << "";
    std::vector<std::pair<int, bool>> links;
    for (const PortLink& link : ReadPortLinks(config.dir))
        links.emplace_back(link.number, link.isLink);
    EXPECT_EQ(links, (std::vector<std::pair<int, bool>>{{3, true}, {7, true}, {12, false}}));

    // Replacing a link; a relative device path is taken from here.
    const fs::path here = fs::current_path();
    fs::current_path("/dev");
    const bool relative = SetPortLink(config.dir, 3, "null", error);
    fs::current_path(here);
    ASSERT_TRUE(relative) << error;
    EXPECT_EQ(fs::read_symlink(PortLinkPath(config.dir, 3)), "/dev/null");

    // What koravelctl's tests do not reach: the library's own range check,
    // and a file of the user's in place of a link, which is never replaced.
    EXPECT_FALSE(SetPortLink(config.dir, -1, "/dev/null", error));
    EXPECT_NE(error.find("from 1 to 255"), std::string::npos) << error;
    EXPECT_FALSE(SetPortLink(config.dir, 12, "/dev/null", error));
    EXPECT_NE(error.find("is not a symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_regular_file(PortLinkPath(config.dir, 12)));

    // Taking numbers back removes the links alone, dangling or not.
    ASSERT_TRUE(ClearPortLink(config.dir, 7, error)) << error;
    ASSERT_TRUE(ClearPortLink(config.dir, 3, error)) << error;
    EXPECT_FALSE(ReadPortLink(config.dir, 3));
    EXPECT_TRUE(fs::exists("/dev/null"));
    EXPECT_EQ(ReadPortLinks(config.dir).size(), 1u);
}

} // namespace
} // namespace koravel
