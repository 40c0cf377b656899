// Saves of a profile killed at random moments, and the clean-up of the
// temporary files that killed saves leave behind.
#include "ini/profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using ini::Profile;

namespace {

const std::string kTempPrefix = ".koravel.ini.saving-";

class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "ini_crash.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::size_t Temps() const {
        const auto names = Names();
        return static_cast<std::size_t>(
            std::count_if(names.begin(), names.end(),
                          [](const auto& n) { return n.rfind(kTempPrefix, 0) == 0; }));
    }

private:
    fs::path path_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A settings file of about size bytes whose every line tells which one it is.
std::string BigProfile(char tag, std::size_t size) {
    std::string text = "[General]\nSerialport=1\n[Bulk]\n";
    for (int i = 0; text.size() < size; ++i)
        text += "key" + std::to_string(i) + "=" + std::string(100, tag) + "\n";
    return text + "[End]\nlast=" + tag + "\n";
}

TEST(IniKilledSave, TheFileIsAlwaysTheWholeOldOrNewTextAndNoTemporaryFilesPileUp) {
    Folder dir;
    const std::string path = dir / "koravel.ini";
    const std::string a = BigProfile('a', 256 * 1024);
    const std::string b = BigProfile('b', 384 * 1024);
    std::string error;
    ASSERT_TRUE(Profile::FromText(a).Save(path, error)) << error;

    std::mt19937 random(20240611);
    constexpr int kRounds = 25;
    int leftovers = 0;
    for (int round = 0; round < kRounds; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const Profile first = Profile::FromText(b);
            const Profile second = Profile::FromText(a);
            std::string e;
            for (;;) {
                if (!first.Save(path, e) || !second.Save(path, e))
                    ::_exit(3);
            }
        }
        // The moment of the kill is what varies; nothing is asserted on time.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself: " << status;

        const std::string now = ReadFile(path);
        ASSERT_TRUE(now == a || now == b)
            << "round " << round << ": a file of " << now.size() << " bytes that is neither";
        // Anything beside the file is left by a save, whatever its name.
        const std::size_t temps = dir.Names().size() - 1;
        // A killed save leaves at most its own file: each save first removes
        // what the killed ones before it left.
        ASSERT_LE(temps, 1u) << "round " << round;
        leftovers += static_cast<int>(temps);
    }
    std::printf("kills that left a temporary file: %d of %d\n", leftovers, kRounds);

    // The next save leaves nothing but the file.
    ASSERT_TRUE(Profile::FromText(a).Save(path, error)) << error;
    EXPECT_EQ(ReadFile(path), a);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"koravel.ini"});
}

TEST(IniKilledSave, CleanUpRemovesOnlyUnlockedTemporaryFilesOfTheSameFile) {
    Folder dir;
    const std::string path = dir / "koravel.ini";
    WriteFile(path, "[General]\nSerialport=3\n");
    const std::string stale = kTempPrefix + "AbC123";
    WriteFile(dir / stale, "[General]\nSerial"); // a save killed half way
    // A save still running holds the lock on its file.
    const std::string running = kTempPrefix + "Run001";
    WriteFile(dir / running, "[General]\n");
    const int held = ::open((dir / running).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    // Names that are not the program's own temporary files of this file.
    const std::vector<std::string> foreign = {
        ".koravel.ini.bak",     kTempPrefix + "AbC12",       kTempPrefix + "AbC1234",
        kTempPrefix + "AbC12_", "koravel.ini.saving-AbC123", ".other.ini.saving-AbC123",
        ".koravel.ini.XyZ789",
    };
    for (const auto& name : foreign)
        WriteFile(dir / name, "user's own");
    const std::string target = dir / "elsewhere";
    WriteFile(target, "kept");
    fs::create_symlink(target, dir / (kTempPrefix + "Link01"));
    fs::create_directory(dir / (kTempPrefix + "Dir001"));

    Profile profile = Profile::FromText(ReadFile(path));
    profile.Set("General", "Serialport", "4");
    std::string error;
    ASSERT_TRUE(profile.Save(path, error)) << error;

    EXPECT_EQ(ReadFile(path), "[General]\nSerialport=4\n");
    EXPECT_FALSE(fs::exists(dir / stale));
    EXPECT_TRUE(fs::exists(dir / running)) << "the file of a running save was removed";
    for (const auto& name : foreign)
        EXPECT_EQ(ReadFile(dir / name), "user's own") << name;
    EXPECT_EQ(ReadFile(target), "kept");
    EXPECT_TRUE(fs::is_symlink(dir / (kTempPrefix + "Link01")));
    EXPECT_TRUE(fs::is_directory(dir / (kTempPrefix + "Dir001")));

    // Once that save is gone (killed: its lock falls with it), the next
    // save removes its file.
    ::close(held);
    ASSERT_TRUE(profile.Save(path, error)) << error;
    EXPECT_FALSE(fs::exists(dir / running));
    EXPECT_EQ(dir.Temps(), 5u); // three foreign names, the link and the folder
}

} // namespace
