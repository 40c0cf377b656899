// The real koravel program against a settings file it cannot have its way
// with: a read-only config folder, a full disk, koravel.ini that is a folder,
// a file of binary bytes. Each time the program starts, talks to the unit on
// COM1, closes (by SIGTERM, which closes the window as the user would), and
// at worst warns on stderr that the settings could not be saved. And the
// window itself with a koravel.ini made read-only, on a port another
// program holds.
#include "child_program.h"
#include "window_fixture.h"

#include "station/com_port.h"
#include "support/process.h"
#include "support/setup_image.h"
#include "transport/port.h"
#include "ui/elided_label.h"

#include <QFileDialog>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace koravel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing_support::BinPath;

// A small tmpfs at a folder of the test, unmounted at the end whatever
// happened.
class Tmpfs {
public:
    explicit Tmpfs(std::string path) : path_(std::move(path)) {
        fs::create_directories(path_);
        if (::geteuid() != 0) {
            reason_ = "mounting a tmpfs needs root";
            return;
        }
        if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) {
            reason_ = std::string("mount -t tmpfs failed: ") + std::strerror(errno);
            return;
        }
        mounted_ = true;
    }
    ~Tmpfs() {
        if (mounted_)
            ::umount2(path_.c_str(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Reason() const { return reason_; }
    bool RemountReadOnly() {
        if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0)
            return true;
        reason_ = std::string("remount read-only failed: ") + std::strerror(errno);
        return false;
    }

private:
    std::string path_;
    std::string reason_;
    bool mounted_ = false;
};

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SettingsFaultsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(fs::exists(BinPath("koravel"))) << BinPath("koravel") << " is not built";
        unit_ = &StartSim(1);
    }

    // ports/com1 of another config folder, linked to the simulated unit.
    void LinkUnit(const std::string& configDir) const {
        fs::create_directories(configDir + "/ports");
        fs::create_symlink(unit_->SlavePath(), configDir + "/ports/com1");
    }

    // Runs koravel with configDir until it has had status replies from the
    // unit, then ends it with SIGTERM. Returns its stderr.
    std::string RunKoravel(const std::string& configDir) {
        const std::string trace = dir_ + "/koravel.trace";
        fs::remove(trace);
        ChildProgram koravel(BinPath("koravel"), {}, KoravelEnv(configDir, trace));
        EXPECT_TRUE(koravel.Started());
        const bool talked = WaitUntil([&] { return TraceLines(trace, "rx") >= 2; });
        EXPECT_TRUE(talked) << "no status reply reached koravel\n" << koravel.Err();
        EXPECT_TRUE(WaitUntil([&] { return unit_->RequestCount(1) >= 2; }));
        koravel.Signal(SIGTERM);
        EXPECT_TRUE(koravel.Wait(20000)) << "SIGTERM did not end koravel";
        EXPECT_TRUE(koravel.Exited()) << "ended by signal " << koravel.TermSignal() << "\n"
                                      << koravel.Err();
        EXPECT_EQ(koravel.ExitCode(), 0) << koravel.Err();
        return koravel.Err();
    }

    sim::Simulator* unit_ = nullptr;
};

// Neither foreign nor own lines may be lost when the program cannot save.
const std::string kSettings = "; the operator's notes\n[General]\nSerialport=1\nLanguage=it\n";

TEST_F(SettingsFaultsTest, ReadOnlyConfigFolder) {
    const std::string config = dir_ + "/ro";
    Tmpfs mount(config);
    const bool root = ::geteuid() == 0;
    if (root && !mount.Mounted())
        GTEST_SKIP() << mount.Reason();
    WriteFile(config + "/koravel.ini", kSettings);
    LinkUnit(config);
    if (root) {
        if (!mount.RemountReadOnly())
            GTEST_SKIP() << mount.Reason();
    } else {
        // For a normal user the permissions alone make the folder read-only.
        ASSERT_EQ(::chmod(config.c_str(), 0555), 0);
    }

    const std::string err = RunKoravel(config);
    if (!root)
        ::chmod(config.c_str(), 0755);
    EXPECT_NE(err.find("koravel: settings not saved: " + config +
                       "/koravel.ini: " + (root ? "Read-only file system" : "Permission denied")),
              std::string::npos)
        << err;
    EXPECT_EQ(FileText(config + "/koravel.ini"), kSettings);
    EXPECT_EQ(Names(config), (std::vector<std::string>{"koravel.ini", "ports"}));
}

TEST_F(SettingsFaultsTest, FullDisk) {
    const std::string config = dir_ + "/full";
    Tmpfs mount(config);
    if (!mount.Mounted())
        GTEST_SKIP() << mount.Reason();
    WriteFile(config + "/koravel.ini", kSettings);
    LinkUnit(config);
    // Fill every block that is left.
    {
        const int fd = ::open((config + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        int lastError = 0;
        for (int i = 0; i < 1000 && lastError == 0; ++i) {
            if (::write(fd, block.data(), block.size()) < 0)
                lastError = errno;
        }
        // A last partial page may still take a few bytes.
        while (lastError == 0 && ::write(fd, "f", 1) == 1) {
        }
        ::close(fd);
        ASSERT_EQ(lastError, ENOSPC);
    }
    {
        std::ofstream probe(config + "/probe", std::ios::binary);
        probe << std::string(5000, 'p');
        probe.flush();
        ASSERT_FALSE(probe.good()) << "the disk is not full";
    }
    fs::remove(config + "/probe");

    const std::string err = RunKoravel(config);
    EXPECT_NE(err.find("koravel: settings not saved: " + config +
                       "/koravel.ini: No space left on device"),
              std::string::npos)
        << err;
    EXPECT_EQ(FileText(config + "/koravel.ini"), kSettings);
    // The failed save took its temporary file away again.
    EXPECT_EQ(Names(config), (std::vector<std::string>{"filler", "koravel.ini", "ports"}));
}

TEST_F(SettingsFaultsTest, SettingsFileThatIsAFolder) {
    fs::create_directory(IniPath());
    WriteFile(IniPath() + "/inside", "untouched");
    // No settings to read: the defaults, port 1, where the unit is.
    const std::string err = RunKoravel(dir_);
    EXPECT_NE(
        err.find("koravel: settings not read, defaults used: " + IniPath() + ": is a directory"),
        std::string::npos)
        << err;
    EXPECT_NE(err.find("koravel: settings not saved: " + IniPath() + ": is a directory"),
              std::string::npos)
        << err;
    ASSERT_TRUE(fs::is_directory(IniPath()));
    EXPECT_EQ(FileText(IniPath() + "/inside"), "untouched");
}

TEST_F(SettingsFaultsTest, SettingsFileOfBinaryBytesIsReadAndKeptByteForByte) {
    std::string text;
    text += "; \x00\x01\x02 NUL and control bytes\n"s;
    text += "[Stra\xE0nge \xFF\xFE section]\n";
    text += "k\xE8y=v\xE0lue\x00tail\r\n"s;
    text += "a CR alone\rin the middle of a line\n";
    text += "[General]\nSerialport=1\n";
    // A line of a megabyte, with NUL bytes, high bytes and bare CRs in it.
    std::string huge = "Huge=";
    for (std::size_t i = 0; huge.size() < 1024 * 1024; ++i) {
        const char cycle[] = {'a', '\0', '\xFF', '\r', '\x80', 'z', '='};
        huge += cycle[i % sizeof cycle];
    }
    text += huge + "\n";
    // The values the program writes back are the ones it read.
    text += "[OmniRig]\nRig1=0\nRig2=0\n";
    text += "no line end at the end \x80\xC3";
    WriteIni(text);

    const std::string err = RunKoravel(dir_);
    EXPECT_EQ(err.find("settings not"), std::string::npos) << err;
    const std::string saved = ReadIni();
    EXPECT_EQ(saved.size(), text.size());
    EXPECT_TRUE(saved == text) << "the foreign bytes were not kept as they were";
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"koravel.ini", "koravel.trace", "ports"}));
}

// The operator's settings stay the operator's: a koravel.ini made read-only
// is left as it is (the window says so once, in its status bar), and a port
// that another program holds is still the one saved at the close. A send
// meanwhile says why nothing goes out: the port is in use.
TEST_F(SettingsFaultsTest, AReadOnlyFileAndABusyPortKeepTheOperatorsSettings) {
    const std::string settings = "; mine\n[General]\nSerialport=1\n[OmniRig]\nRig1=0\nRig2=0\n";
    WriteFile(IniPath(), settings);
    ASSERT_EQ(::chmod(IniPath().c_str(), 0444), 0);
    transport::Port other; // another program's hold on COM1
    ASSERT_EQ(OpenComPort(other, 1), 0);

    TfmMain& w = MakeWindow();
    w.FormActivate();
    EXPECT_EQ(w.PortNumber, 0);
    const QString notice = w.lNotice->fullText();
    EXPECT_TRUE(notice.contains(QString::fromStdString(
        "Le impostazioni non verranno salvate: " + IniPath() + ": il file è di sola lettura")))
        << notice.toStdString();
    EXPECT_TRUE(notice.contains(QStringLiteral("usata da un altro programma")))
        << notice.toStdString();

    prompts_->acceptFile = true;
    w.dlgOpen->selectFile(
        QString::fromStdString(testing_support::SetupDataFile("kv100-fw113.koravel")));
    EXPECT_EQ(w.btInviaClick(), TfmMain::SendOutcome::NotSent);
    ASSERT_EQ(prompts_->messages.size(), 1u);
    EXPECT_TRUE(
        prompts_->messages[0].second.contains(QStringLiteral("usata da un altro programma")))
        << prompts_->messages[0].second.toStdString();
    EXPECT_EQ(unit_->RequestCount(4), 0u);

    w.close();
    EXPECT_EQ(FileText(IniPath()), settings);
    struct stat st {};
    ASSERT_EQ(::stat(IniPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);

    // Writable again: the port saved is the one chosen, though it did not
    // open; nothing is said about the settings.
    ASSERT_EQ(::chmod(IniPath().c_str(), 0644), 0);
    TfmMain& again = MakeWindow();
    again.FormActivate();
    EXPECT_EQ(again.PortNumber, 0);
    EXPECT_FALSE(again.lNotice->fullText().contains(QStringLiteral("Settings")));
    again.close();
    EXPECT_NE(FileText(IniPath()).find("Serialport=1\n"), std::string::npos) << FileText(IniPath());
}

} // namespace
} // namespace koravel::test
