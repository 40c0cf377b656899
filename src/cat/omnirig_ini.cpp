#include "cat/omnirig_ini.h"

#include "ini/profile.h"
#include "station/files.h"

#include <QDir>
#include <QFile>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace cat {

namespace {

QString Section(int rigNumber) {
    return QStringLiteral("Rig%1").arg(rigNumber);
}

QString BadValue(const QString& path, int rigNumber, const char* key, const QString& text,
                 const QString& expected) {
    return QStringLiteral("%1: [%2] %3=%4 is not valid (%5)")
        .arg(path, Section(rigNumber), QString::fromLatin1(key), text, expected);
}

// One rig's section of the file, with the file's name for the errors.
struct RigSection {
    const ini::Profile::SectionView& keys;
    const QString& path;
    int rigNumber;

    // The key's value, blanks trimmed; nullopt when the key is absent.
    std::optional<QString> Text(const char* key) const {
        const std::optional<std::string> value = keys.Get(key);
        if (!value) {
            return std::nullopt;
        }
        return QString::fromStdString(*value).trimmed();
    }
};

// Reads an integer key within [min, max]; an absent key keeps value.
bool ReadInt(const RigSection& rig, const char* key, int min, int max, int& value, QString* error) {
    const std::optional<QString> text = rig.Text(key);
    if (!text) {
        return true;
    }
    bool ok = false;
    const int parsed = text->toInt(&ok);
    if (!ok || parsed < min || parsed > max) {
        if (error != nullptr) {
            *error = BadValue(rig.path, rig.rigNumber, key, *text,
                              QStringLiteral("a whole number from %1 to %2").arg(min).arg(max));
        }
        return false;
    }
    value = parsed;
    return true;
}

bool ReadBool(const RigSection& rig, const char* key, bool& value, QString* error) {
    const std::optional<QString> text = rig.Text(key);
    if (!text) {
        return true;
    }
    const QString word = text->toLower();
    if (word == "true" || word == "1" || word == "yes") {
        value = true;
    } else if (word == "false" || word == "0" || word == "no") {
        value = false;
    } else {
        if (error != nullptr) {
            *error = BadValue(rig.path, rig.rigNumber, key, *text, QStringLiteral("true or false"));
        }
        return false;
    }
    return true;
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// Nothing stands at path, not even a link that leads nowhere.
bool Absent(const std::string& path) {
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() ==
           std::filesystem::file_type::not_found;
}

} // namespace

QString DefaultPort(int rigNumber, int model) {
    if (model != kNetRigctlModel) {
        return {};
    }
    return rigNumber == 2 ? QStringLiteral("127.0.0.1:4533") : QStringLiteral("127.0.0.1:4532");
}

RigSettings DefaultRigSettings(int rigNumber) {
    RigSettings rig;
    rig.port = DefaultPort(rigNumber, rig.model);
    return rig;
}

QString OmniRigIniPath(const QString& configDir) {
    return QDir(configDir).filePath(QStringLiteral("omnirig.ini"));
}

bool LoadOmniRigIni(const QString& configDir, OmniRigSettings& settings, QString* error) {
    const QString path = OmniRigIniPath(configDir);
    const std::string localPath = LocalPath(path);
    OmniRigSettings loaded{DefaultRigSettings(1), DefaultRigSettings(2)};
    ini::Profile profile;
    if (!Absent(localPath)) {
        std::string reason;
        std::optional<ini::Profile> read = ini::Profile::Load(localPath, reason);
        if (!read) {
            if (error != nullptr) {
                *error = QStringLiteral("%1 cannot be read: %2")
                             .arg(path, QString::fromLocal8Bit(reason.c_str()));
            }
            return false;
        }
        profile = std::move(*read);
    }
    for (int n = 1; n <= kRigCount; ++n) {
        RigSettings& rig = loaded[n - 1];
        const ini::Profile::SectionView keys = profile.Section(Section(n).toStdString());
        const RigSection section{keys, path, n};
        if (!ReadInt(section, "Model", 0, 999999, rig.model, error) ||
            !ReadInt(section, "Speed", 0, 100000000, rig.speed, error) ||
            !ReadInt(section, "PollMs", kMinPollMs, kMaxPollMs, rig.pollMs, error) ||
            !ReadBool(section, "Enabled", rig.enabled, error)) {
            return false;
        }
        rig.port = section.Text("Port").value_or(DefaultPort(n, rig.model));
    }
    settings = loaded;
    return true;
}

bool SaveOmniRigIni(const QString& configDir, const OmniRigSettings& settings, QString* error) {
    const QString path = OmniRigIniPath(configDir);
    const std::string localPath = LocalPath(path);
    auto fail = [&](const std::string& reason) {
        if (error != nullptr) {
            *error = QStringLiteral("%1 cannot be written: %2")
                         .arg(path, QString::fromLocal8Bit(reason.c_str()));
        }
        return false;
    };
    std::string reason;
    if (!koravel::MakeFolders(LocalPath(configDir), reason)) {
        if (error != nullptr) {
            *error = QString::fromLocal8Bit(reason.c_str());
        }
        return false;
    }
    // The file's other content is kept; one that cannot be read is left
    // alone rather than replaced by the two sections alone.
    ini::Profile profile;
    if (!Absent(localPath)) {
        std::optional<ini::Profile> read = ini::Profile::Load(localPath, reason);
        if (!read) {
            return fail(reason);
        }
        profile = std::move(*read);
    }
    for (int n = 1; n <= kRigCount; ++n) {
        const RigSettings& rig = settings[n - 1];
        const std::string section = Section(n).toStdString();
        profile.Set(section, "Model", std::to_string(rig.model));
        profile.Set(section, "Port", rig.port.toStdString());
        profile.Set(section, "Speed", std::to_string(rig.speed));
        profile.Set(section, "PollMs", std::to_string(rig.pollMs));
        profile.Set(section, "Enabled", rig.enabled ? "true" : "false");
    }
    if (!profile.Save(localPath, reason)) {
        return fail(reason);
    }
    return true;
}

} // namespace cat
