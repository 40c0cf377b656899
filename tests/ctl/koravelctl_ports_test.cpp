// koravelctl ports: COM numbers given to devices and taken back, the unit
// reached through a number given that way, and a port that does not open
// explained in words, each as a user meets it.
#include "ctl/ctl_fixture.h"
#include "station/com_port.h"
#include "transport/port.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::RunProgram;

namespace {

class KoravelctlPortsTest : public CtlTest {
protected:
    void StartSim() {
        sim::Options o;
        o.port = 1;
        CtlTest::StartSim(o);
    }
    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
};

TEST_F(KoravelctlPortsTest, SetListUseAndClearANumber) {
    StartSim();
    const std::string pts = simulator->SlavePath();

    auto r = Ctl({"ports", "set", "5", pts});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "COM5 -> " + pts + "\n");
    EXPECT_EQ(fs::read_symlink(dir.path() + "/ports/com5"), pts);

    // The unit answers on the number just given.
    r = Ctl({"--port", "5", "status"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "firmware 1.13")) << r.out;
    EXPECT_EQ(simulator->RequestCount(1), 1u);

    r = Ctl({"ports"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("config folder: " + dir.path() + "\n", 0), 0u) << r.out;
    EXPECT_TRUE(Has(r.out, "  COM1  -> " + pts + "  present\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "  COM5  -> " + pts + "  present\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "serial devices present:\n")) << r.out;

    // Refused: exit 2, a reason, and nothing changed.
    const std::string plain = dir.path() + "/plain-file";
    std::ofstream(plain) << "text";
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"ports", "set", "5", dir.path() + "/no-such-device"}, "does not exist"},
        {{"ports", "set", "6", plain}, "is not a character device"},
        {{"ports", "set", "0", pts}, "N from 1 to 255"},
        {{"ports", "set", "256", pts}, "N from 1 to 255"},
        {{"ports", "set", "5"}, "usage"},
        {{"ports", "clear", "7"}, "COM7 has no link"},
        {{"ports", "list"}, "usage"},
        {{"--port", "1", "ports"}, "ports takes no --port"},
    };
    for (const auto& [args, reason] : refused) {
        r = Ctl(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_TRUE(Has(r.err, reason)) << r.err;
    }
    EXPECT_EQ(fs::read_symlink(dir.path() + "/ports/com5"), pts);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() + "/ports/com6")));
    // Something that is not a link is never removed.
    std::ofstream(dir.path() + "/ports/com8") << "mine";
    r = Ctl({"ports", "clear", "8"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, "is not a symbolic link")) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir.path() + "/ports/com8"));

    r = Ctl({"ports", "clear", "5"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "COM5 cleared (was -> " + pts + ")\n");
    r = Ctl({"ports"});
    EXPECT_FALSE(Has(r.out, "COM5")) << r.out;
    EXPECT_TRUE(Has(r.out, "  COM8  " + dir.path() + "/ports/com8 is not a symbolic link"))
        << r.out;
}

TEST_F(KoravelctlPortsTest, PortsThatDoNotOpenAreExplained) {
    StartSim();
    // Missing: the adapter the link expects is not plugged in.
    const std::string absent = dir.path() + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI";
    fs::create_symlink(absent, dir.path() + "/ports/com4");
    auto r = Ctl({"--port", "4", "status"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "koravelctl: COM4 does not open: its device " + absent +
                         " is not plugged in (the link " + dir.path() +
                         "/ports/com4 expects it).\n");
    r = Ctl({"ports"});
    EXPECT_TRUE(Has(r.out, "  COM4  -> " + absent + "  missing (not plugged in)")) << r.out;

    // Busy: another opener holds the unit's port.
    transport::Port holder;
    ASSERT_EQ(koravel::OpenComPort(holder, 1), 0);
    r = Ctl({"--port", "1", "status"});
    holder.Close();
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "koravelctl: COM1 (" + simulator->SlavePath() +
                         ") does not open: it is in use by another program. Close that program, "
                         "or choose another port.\n");
    EXPECT_EQ(simulator->RequestCount(1), 0u);

    // Not a serial device at all.
    const std::string plain = dir.path() + "/plain-file";
    std::ofstream(plain) << "text";
    fs::create_symlink(plain, dir.path() + "/ports/com6");
    r = Ctl({"--port", "6", "status"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, "COM6 (" + plain + ") does not open: it is not a serial device."))
        << r.err;

    // And the port, once free, opens.
    EXPECT_EQ(Ctl({"--port", "1", "status"}).exitCode, 0);
}

// A user without rights on the device is told which group to join. Run as
// the user nobody, who is in no group but its own.
TEST_F(KoravelctlPortsTest, PermissionDeniedNamesTheDevicesGroupAndTheFix) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give the device to a group and run koravelctl as nobody";
    if (!fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "setpriv (util-linux) is not installed";
    const struct group* dialout = ::getgrnam("dialout");
    const gid_t gid = dialout != nullptr ? dialout->gr_gid : 0;
    const std::string groupName = dialout != nullptr ? "dialout" : "root";

    testing_support::PtyPort device(dir.path(), 2);
    ASSERT_EQ(::chown(device.slavePath().c_str(), 0, gid), 0);
    ASSERT_EQ(::chmod(device.slavePath().c_str(), 0660), 0);
    // nobody must see the config folder and its links.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((dir.path() + "/ports").c_str(), 0755), 0);

    const auto r = RunProgram("/usr/bin/setpriv",
                              {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--",
                               testing_support::BinPath("koravelctl"), "--port", "2", "status"});
    EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
    EXPECT_EQ(r.err, "koravelctl: COM2 (" + device.slavePath() +
                         ") does not open: permission denied. The device belongs to the group '" +
                         groupName + "': add your user to the group '" + groupName +
                         "' (sudo usermod -aG " + groupName + " $USER) and log in again.\n");
    EXPECT_TRUE(device.ReadAvailable().empty()) << "nothing may reach the device";
}

} // namespace
