// The config folder rule on given sources, and the making of the folder.
#include "station/config_dir.h"
#include "station/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using koravel::ChooseConfigDir;
using koravel::ConfigDirSources;
using koravel::MakeFolders;

namespace {

struct Scratch {
    Scratch() {
        char tmpl[] = "/tmp/koravel-configdir-XXXXXX";
        path = ::mkdtemp(tmpl) != nullptr ? tmpl : "";
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string path;
};

int Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

} // namespace

TEST(ConfigDir, FirstThatAppliesOfVariableExecutableFolderXdgAndHome) {
    Scratch exe;
    ASSERT_FALSE(exe.path.empty());
    ConfigDirSources s;
    s.executableDir = exe.path;
    s.homeDir = "/home/op";
    EXPECT_EQ(ChooseConfigDir(s), "/home/op/.config/koravel");

    // Only an absolute XDG_CONFIG_HOME counts; an empty one is unset.
    for (const char* ignored : {"", "relative/config", "./config"}) {
        s.xdgConfigHome = ignored;
        EXPECT_EQ(ChooseConfigDir(s), "/home/op/.config/koravel") << ignored;
    }
    s.xdgConfigHome = "/srv/op/conf//";
    EXPECT_EQ(ChooseConfigDir(s), "/srv/op/conf/koravel");

    // koravel.ini beside the executable makes a portable copy; anything else
    // there does not.
    std::ofstream(exe.path + "/omnirig.ini") << "";
    EXPECT_EQ(ChooseConfigDir(s), "/srv/op/conf/koravel");
    std::ofstream(exe.path + "/koravel.ini") << "";
    EXPECT_EQ(ChooseConfigDir(s), exe.path);

    s.configDirVariable = "";
    EXPECT_EQ(ChooseConfigDir(s), exe.path) << "an empty variable is no folder";
    s.configDirVariable = "/var/koravel/";
    EXPECT_EQ(ChooseConfigDir(s), "/var/koravel");

    // Nothing to go by: the executable's folder, never a relative path.
    ConfigDirSources bare;
    bare.executableDir = "/opt/koravel/bin";
    EXPECT_EQ(ChooseConfigDir(bare), "/opt/koravel/bin");
}

TEST(ConfigDir, MakeCreatesMissingFoldersPrivateAndKeepsExistingOnes) {
    Scratch tmp;
    ASSERT_FALSE(tmp.path.empty());
    ASSERT_EQ(::chmod(tmp.path.c_str(), 0755), 0);
    const std::string dir = tmp.path + "/a//b/koravel";
    std::string error;
    ASSERT_TRUE(MakeFolders(dir, error)) << error;
    EXPECT_EQ(Mode(tmp.path), 0755) << "an existing parent keeps its mode";
    EXPECT_EQ(Mode(tmp.path + "/a"), 0700);
    EXPECT_EQ(Mode(tmp.path + "/a/b"), 0700);
    EXPECT_EQ(Mode(tmp.path + "/a/b/koravel"), 0700);
    EXPECT_TRUE(MakeFolders(dir + "/", error)) << "an existing folder is fine: " << error;

    // A file where a folder should be is named in the error.
    std::ofstream(tmp.path + "/file") << "x";
    EXPECT_FALSE(MakeFolders(tmp.path + "/file", error));
    EXPECT_NE(error.find(tmp.path + "/file: a file of that name is in the way"), std::string::npos)
        << error;
    EXPECT_FALSE(MakeFolders(tmp.path + "/file/koravel", error));
    EXPECT_NE(error.find(tmp.path + "/file"), std::string::npos) << error;

    // A parent that cannot be written (root may write anywhere).
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(tmp.path.c_str(), 0555), 0);
        EXPECT_FALSE(MakeFolders(tmp.path + "/c/koravel", error));
        EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
        ::chmod(tmp.path.c_str(), 0755);
    }
}
