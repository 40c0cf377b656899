#include "cat/omnirig_ini.h"
#include "cat_test_support.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using cat::LoadOmniRigIni;
using cat::OmniRigSettings;
using cat::SaveOmniRigIni;

TEST(OmniRigIni, MissingFileGivesTheDefaultsOfBothRigs) {
    QTemporaryDir dir;
    OmniRigSettings s;
    QString error;
    ASSERT_TRUE(LoadOmniRigIni(dir.path(), s, &error)) << error.toStdString();
    EXPECT_EQ(s[0].model, 2);
    EXPECT_EQ(s[0].port, "127.0.0.1:4532");
    EXPECT_EQ(s[1].model, 2);
    EXPECT_EQ(s[1].port, "127.0.0.1:4533");
    for (const auto& rig : s) {
        EXPECT_EQ(rig.pollMs, 100);
        EXPECT_EQ(rig.speed, 0);
        EXPECT_TRUE(rig.enabled);
    }
}

TEST(OmniRigIni, ReadsEveryKeyAndThePortDefaultFollowsTheModel) {
    QTemporaryDir dir;
    cattest::WriteIni(dir.path(), "[Rig1]\nModel=3073\nSpeed=19200\n"
                                  "[Rig2]\nModel = 2\nPort=radio.lan:4540\nPollMs=250\n"
                                  "Enabled=False\n");
    OmniRigSettings s;
    QString error;
    ASSERT_TRUE(LoadOmniRigIni(dir.path(), s, &error)) << error.toStdString();
    EXPECT_EQ(s[0].model, 3073);
    EXPECT_EQ(s[0].port, "") << "a serial model without Port keeps Hamlib's default device";
    EXPECT_EQ(s[0].speed, 19200);
    EXPECT_TRUE(s[0].enabled);
    EXPECT_EQ(s[1].model, 2);
    EXPECT_EQ(s[1].port, "radio.lan:4540");
    EXPECT_EQ(s[1].pollMs, 250);
    EXPECT_FALSE(s[1].enabled);
}

TEST(OmniRigIni, BadValuesAreErrorsThatNameTheKeyAndChangeNothing) {
    const struct {
        const char* text;
        const char* mentions;
    } cases[] = {
        {"[Rig1]\nModel=icom\n", "[Rig1] Model=icom"},
        {"[Rig2]\nModel=-3\n", "[Rig2] Model=-3"},
        {"[Rig1]\nPollMs=5\n", "[Rig1] PollMs=5"},
        {"[Rig2]\nPollMs=60001\n", "[Rig2] PollMs=60001"},
        {"[Rig1]\nSpeed=fast\n", "[Rig1] Speed=fast"},
        {"[Rig2]\nEnabled=maybe\n", "[Rig2] Enabled=maybe"},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        cattest::WriteIni(dir.path(), c.text);
        OmniRigSettings s;
        s[0].model = 77;
        QString error;
        EXPECT_FALSE(LoadOmniRigIni(dir.path(), s, &error)) << c.text;
        EXPECT_TRUE(error.contains(c.mentions)) << error.toStdString();
        EXPECT_TRUE(error.contains("omnirig.ini")) << error.toStdString();
        EXPECT_EQ(s[0].model, 77) << "a failed load must leave the settings alone";
    }
}

TEST(OmniRigIni, UnreadableFileIsAnErrorNotTheDefaults) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("omnirig.ini"));
    OmniRigSettings s;
    QString error;
    EXPECT_FALSE(LoadOmniRigIni(dir.path(), s, &error));
    EXPECT_TRUE(error.contains("cannot be read")) << error.toStdString();
}

TEST(OmniRigIni, SaveThenLoadGivesTheSameAndKeepsOtherContent) {
    QTemporaryDir dir;
    // A file as earlier versions wrote it (keys sorted, Enabled as a word).
    cattest::WriteIni(dir.path(), "[Extra]\nNote=keep me\n\n"
                                  "[Rig1]\nEnabled=true\nModel=1\nPollMs=100\n"
                                  "Port=/dev/ttyUSB0\nSpeed=0\n");
    OmniRigSettings s;
    QString error;
    ASSERT_TRUE(LoadOmniRigIni(dir.path(), s, &error)) << error.toStdString();
    EXPECT_EQ(s[0], (cat::RigSettings{1, "/dev/ttyUSB0", 0, 100, true}));
    s[0] = {1, "/dev/ttyUSB1", 4800, 50, true};
    s[1] = {0, "", 0, 1000, false};
    ASSERT_TRUE(SaveOmniRigIni(dir.path(), s, &error)) << error.toStdString();

    // Keys are replaced where they stand, missing ones added to their section.
    EXPECT_EQ(cattest::ReadIni(dir.path()),
              "[Extra]\nNote=keep me\n\n"
              "[Rig1]\nEnabled=true\nModel=1\nPollMs=50\nPort=/dev/ttyUSB1\nSpeed=4800\n\n"
              "[Rig2]\nModel=0\nPort=\nSpeed=0\nPollMs=1000\nEnabled=false\n");
    OmniRigSettings back;
    ASSERT_TRUE(LoadOmniRigIni(dir.path(), back, &error)) << error.toStdString();
    EXPECT_EQ(back, s);
}

TEST(OmniRigIni, AByteOrderMarkIsReadPastAndKept) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("omnirig.ini");
    const QByteArray bom("\xEF\xBB\xBF");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bom + "[Rig1]\r\nModel=1\r\nSpeed=4800\r\n");
    }
    OmniRigSettings s;
    QString error;
    ASSERT_TRUE(LoadOmniRigIni(dir.path(), s, &error)) << error.toStdString();
    EXPECT_EQ(s[0].model, 1);
    EXPECT_EQ(s[0].speed, 4800);
    s[1].pollMs = 250;
    ASSERT_TRUE(SaveOmniRigIni(dir.path(), s, &error)) << error.toStdString();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith(bom));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"omnirig.ini"});
    OmniRigSettings back;
    ASSERT_TRUE(LoadOmniRigIni(dir.path(), back, &error)) << error.toStdString();
    EXPECT_EQ(back, s);
}

TEST(OmniRigIni, SaveToAPlaceThatCannotBeWrittenFails) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("omnirig.ini")); // a folder where the file should go
    OmniRigSettings s{cat::DefaultRigSettings(1), cat::DefaultRigSettings(2)};
    QString error;
    EXPECT_FALSE(SaveOmniRigIni(dir.path(), s, &error));
    EXPECT_TRUE(error.contains("cannot be written")) << error.toStdString();
}

TEST(OmniRigIni, SaveMakesAMissingConfigFolderPrivate) {
    QTemporaryDir dir;
    const QString config = dir.path() + "/xdg/koravel";
    OmniRigSettings s{cat::DefaultRigSettings(1), cat::DefaultRigSettings(2)};
    s[0].pollMs = 250;
    QString error;
    ASSERT_TRUE(SaveOmniRigIni(config, s, &error)) << error.toStdString();
    const auto privateFolder = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ExeOwner | QFileDevice::ReadUser |
                               QFileDevice::WriteUser | QFileDevice::ExeUser;
    EXPECT_EQ(QFileInfo(dir.path() + "/xdg").permissions(), privateFolder);
    EXPECT_EQ(QFileInfo(config).permissions(), privateFolder);
    OmniRigSettings back;
    ASSERT_TRUE(LoadOmniRigIni(config, back, &error)) << error.toStdString();
    EXPECT_EQ(back, s);

    // A file in the folder's place is an error that says so.
    cattest::WriteIni(dir.path(), "");
    EXPECT_FALSE(SaveOmniRigIni(dir.path() + "/omnirig.ini", s, &error));
    EXPECT_TRUE(error.contains("in the way")) << error.toStdString();
}
