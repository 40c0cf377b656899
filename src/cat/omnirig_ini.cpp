#include "cat/omnirig_ini.h"

#include "datagram/udp_listener.h"
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

// Reads a text key (trimmed); an absent key keeps value.
void ReadText(const RigSection& rig, const char* key, QString& value) {
    if (std::optional<QString> text = rig.Text(key))
        value = *text;
}

bool ReadSource(const RigSection& rig, RigSource& source, QString* error) {
    const std::optional<QString> text = rig.Text("Source");
    if (!text || text->isEmpty())
        return true;
    const std::optional<RigSource> parsed = SourceFromWord(*text);
    if (!parsed) {
        if (error != nullptr)
            *error = BadValue(rig.path, rig.rigNumber, "Source", *text,
                              QStringLiteral("hamlib, radioinfo or wsjtx"));
        return false;
    }
    source = *parsed;
    return true;
}

bool ReadRadio(const RigSection& rig, int& radio, QString* error) {
    const std::optional<QString> text = rig.Text("Radio");
    if (!text)
        return true;
    if (text->compare(QLatin1String("focus"), Qt::CaseInsensitive) == 0) {
        radio = kFocusRadio;
        return true;
    }
    bool ok = false;
    const int number = text->toInt(&ok);
    if (ok && (number == 1 || number == 2)) {
        radio = number;
        return true;
    }
    if (error != nullptr)
        *error = BadValue(rig.path, rig.rigNumber, "Radio", *text, QStringLiteral("1, 2 or focus"));
    return false;
}

bool ReadMulticast(const RigSection& rig, QString& group, QString* error) {
    ReadText(rig, "Multicast", group);
    if (group.isEmpty() || datagram::IsMulticastGroup(group.toStdString()))
        return true;
    if (error != nullptr)
        *error = BadValue(rig.path, rig.rigNumber, "Multicast", group,
                          QStringLiteral("an IPv4 multicast group, 224.0.0.0 to 239.255.255.255"));
    return false;
}

} // namespace

const char* SourceWord(RigSource source) {
    switch (source) {
    case RigSource::RadioInfo:
        return "radioinfo";
    case RigSource::Wsjtx:
        return "wsjtx";
    case RigSource::Hamlib:
        break;
    }
    return "hamlib";
}

std::optional<RigSource> SourceFromWord(const QString& word) {
    for (RigSource source : {RigSource::Hamlib, RigSource::RadioInfo, RigSource::Wsjtx}) {
        if (word.compare(QLatin1String(SourceWord(source)), Qt::CaseInsensitive) == 0)
            return source;
    }
    return std::nullopt;
}

int DefaultUdpPort(RigSource source) {
    switch (source) {
    case RigSource::RadioInfo:
        return 12060;
    case RigSource::Wsjtx:
        return 2237;
    case RigSource::Hamlib:
        break;
    }
    return 0;
}

int RadioOf(const RigSettings& rig, int rigNumber) {
    return rig.radio == kOwnRadio ? rigNumber : rig.radio;
}

int UdpPortOf(const RigSettings& rig) {
    return rig.udpPort != 0 ? rig.udpPort : DefaultUdpPort(rig.source);
}

bool ApplySourceSpec(const QString& spec, RigSettings& rig, QString* error) {
    const qsizetype colon = spec.indexOf(QLatin1Char(':'));
    const std::optional<RigSource> source = SourceFromWord(colon < 0 ? spec : spec.left(colon));
    int port = 0;
    bool ok = source.has_value();
    if (ok && colon >= 0) {
        port = spec.mid(colon + 1).toInt(&ok);
        ok = ok && *source != RigSource::Hamlib && port >= 1 && port <= 65535;
    }
    if (!ok) {
        if (error != nullptr)
            *error = QStringLiteral("\"%1\" is not a source: radioinfo[:PORT], wsjtx[:PORT] or "
                                    "hamlib (PORT 1 to 65535)")
                         .arg(spec);
        return false;
    }
    if (*source != rig.source) {
        rig.udpPort = 0;
        rig.radio = kOwnRadio;
        rig.multicast.clear();
        rig.instance.clear();
        rig.source = *source;
    }
    if (port != 0)
        rig.udpPort = port;
    return true;
}

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
            !ReadBool(section, "Enabled", rig.enabled, error) ||
            !ReadSource(section, rig.source, error) ||
            !ReadInt(section, "UdpPort", 0, 65535, rig.udpPort, error) ||
            !ReadRadio(section, rig.radio, error) ||
            !ReadMulticast(section, rig.multicast, error) ||
            !ReadInt(section, "NotHeardS", kMinNotHeardS, kMaxNotHeardS, rig.notHeardS, error)) {
            return false;
        }
        ReadText(section, "Instance", rig.instance);
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
        // A file that never had another source keeps the keys it had.
        if (rig.source != RigSource::Hamlib || profile.Section(section).Get("Source"))
            profile.Set(section, "Source", SourceWord(rig.source));
        if (rig.source != RigSource::Hamlib) {
            const int radio = RadioOf(rig, n);
            profile.Set(section, "UdpPort", std::to_string(UdpPortOf(rig)));
            profile.Set(section, "Radio",
                        radio == kFocusRadio ? std::string("focus") : std::to_string(radio));
            profile.Set(section, "Multicast", rig.multicast.toStdString());
            profile.Set(section, "Instance", rig.instance.toStdString());
            profile.Set(section, "NotHeardS", std::to_string(rig.notHeardS));
        }
    }
    if (!profile.Save(localPath, reason)) {
        return fail(reason);
    }
    return true;
}

} // namespace cat
