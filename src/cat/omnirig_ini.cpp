#include "cat/omnirig_ini.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace cat {

namespace {

const QByteArray kByteOrderMark("\xEF\xBB\xBF");

QString Section(int rigNumber) {
    return QStringLiteral("Rig%1").arg(rigNumber);
}

QString BadValue(const QString& path, int rigNumber, const char* key, const QString& text,
                 const QString& expected) {
    return QStringLiteral("%1: [%2] %3=%4 is not valid (%5)")
        .arg(path, Section(rigNumber), QString::fromLatin1(key), text, expected);
}

// Reads an integer key within [min, max]; absent keys keep value.
bool ReadInt(const QSettings& ini, int rigNumber, const char* key, int min, int max, int& value,
             QString* error) {
    const QString name = Section(rigNumber) + '/' + QString::fromLatin1(key);
    if (!ini.contains(name)) {
        return true;
    }
    const QString text = ini.value(name).toString().trimmed();
    bool ok = false;
    const int parsed = text.toInt(&ok);
    if (!ok || parsed < min || parsed > max) {
        if (error != nullptr) {
            *error = BadValue(ini.fileName(), rigNumber, key, text,
                              QStringLiteral("a whole number from %1 to %2").arg(min).arg(max));
        }
        return false;
    }
    value = parsed;
    return true;
}

bool ReadBool(const QSettings& ini, int rigNumber, const char* key, bool& value, QString* error) {
    const QString name = Section(rigNumber) + '/' + QString::fromLatin1(key);
    if (!ini.contains(name)) {
        return true;
    }
    const QString text = ini.value(name).toString().trimmed().toLower();
    if (text == "true" || text == "1" || text == "yes") {
        value = true;
    } else if (text == "false" || text == "0" || text == "no") {
        value = false;
    } else {
        if (error != nullptr) {
            *error = BadValue(ini.fileName(), rigNumber, key, ini.value(name).toString(),
                              QStringLiteral("true or false"));
        }
        return false;
    }
    return true;
}

// Makes the config folder, and every missing parent, with mode 0700 before
// the first file goes into it (QSettings would make it open to everyone).
bool MakeFolder(const QString& dir, QString* error) {
    QStringList missing;
    for (QString d = QDir(dir).absolutePath(); !QFileInfo::exists(d); d = QFileInfo(d).path()) {
        missing.prepend(d);
    }
    for (const QString& d : missing) {
        if (::mkdir(QFile::encodeName(d).constData(), 0700) == 0) {
            continue;
        }
        const int reason = errno;
        if (reason != EEXIST) {
            if (error != nullptr) {
                *error = QStringLiteral("cannot create the folder %1: %2")
                             .arg(d, QString::fromLocal8Bit(std::strerror(reason)));
            }
            return false;
        }
    }
    if (!QFileInfo(dir).isDir()) {
        if (error != nullptr) {
            *error =
                QStringLiteral("cannot create the folder %1: a file of that name is in the way")
                    .arg(dir);
        }
        return false;
    }
    return true;
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
    OmniRigSettings loaded{DefaultRigSettings(1), DefaultRigSettings(2)};
    if (QFileInfo::exists(path)) {
        // QSettings reads an unreadable file as an empty one; check first.
        QFile probe(path);
        if (!QFileInfo(path).isFile() || !probe.open(QIODevice::ReadOnly)) {
            if (error != nullptr) {
                *error = QStringLiteral("%1 cannot be read").arg(path);
            }
            return false;
        }
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        if (error != nullptr) {
            *error = QStringLiteral("%1 is not a valid settings file").arg(path);
        }
        return false;
    }
    for (int n = 1; n <= kRigCount; ++n) {
        RigSettings& rig = loaded[n - 1];
        if (!ReadInt(ini, n, "Model", 0, 999999, rig.model, error) ||
            !ReadInt(ini, n, "Speed", 0, 100000000, rig.speed, error) ||
            !ReadInt(ini, n, "PollMs", kMinPollMs, kMaxPollMs, rig.pollMs, error) ||
            !ReadBool(ini, n, "Enabled", rig.enabled, error)) {
            return false;
        }
        const QString portKey = Section(n) + QStringLiteral("/Port");
        rig.port = ini.contains(portKey) ? ini.value(portKey).toString().trimmed()
                                         : DefaultPort(n, rig.model);
    }
    settings = loaded;
    return true;
}

namespace {

// The settings into the file at path, through QSettings.
bool WriteRigs(const QString& path, const OmniRigSettings& settings) {
    QSettings ini(path, QSettings::IniFormat);
    ini.setAtomicSyncRequired(true);
    for (int n = 1; n <= kRigCount; ++n) {
        const RigSettings& rig = settings[n - 1];
        ini.beginGroup(Section(n));
        ini.setValue(QStringLiteral("Model"), rig.model);
        ini.setValue(QStringLiteral("Port"), rig.port);
        ini.setValue(QStringLiteral("Speed"), rig.speed);
        ini.setValue(QStringLiteral("PollMs"), rig.pollMs);
        ini.setValue(QStringLiteral("Enabled"), rig.enabled);
        ini.endGroup();
    }
    ini.sync();
    return ini.status() == QSettings::NoError;
}

// QSettings reads a file that starts with a byte-order mark, but writes it
// afresh without the mark and then reports a format error. So such a file is
// written as a copy without the mark beside it, and the mark and the copy's
// new text replace the file in one go.
bool WriteRigsKeepingTheMark(const QString& path, const QByteArray& text,
                             const OmniRigSettings& settings) {
    QTemporaryFile copy(path + QStringLiteral(".XXXXXX"));
    if (!copy.open() || copy.write(text.mid(kByteOrderMark.size())) < 0 || !copy.flush())
        return false;
    copy.close();
    if (!WriteRigs(copy.fileName(), settings))
        return false;
    QFile written(copy.fileName());
    if (!written.open(QIODevice::ReadOnly))
        return false;
    const QByteArray marked = kByteOrderMark + written.readAll();
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(marked) == marked.size() && file.commit();
}

} // namespace

bool SaveOmniRigIni(const QString& configDir, const OmniRigSettings& settings, QString* error) {
    if (!MakeFolder(configDir, error)) {
        return false;
    }
    const QString path = OmniRigIniPath(configDir);
    QFile existing(path);
    const QByteArray text = existing.open(QIODevice::ReadOnly) ? existing.readAll() : QByteArray();
    existing.close();
    const bool ok = text.startsWith(kByteOrderMark) ? WriteRigsKeepingTheMark(path, text, settings)
                                                    : WriteRigs(path, settings);
    if (!ok) {
        if (error != nullptr) {
            *error = QStringLiteral("%1 cannot be written").arg(path);
        }
        return false;
    }
    return true;
}

} // namespace cat
