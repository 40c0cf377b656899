#include "ui/setup_words.h"

#include "ini/integer.h"
#include "setup/layouts.h"

#include <QCoreApplication>
#include <QStringList>

namespace koravel {

namespace {

// The translation context of these words.
class Words {
    Q_DECLARE_TR_FUNCTIONS(SetupConcerns)
};

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

// "a, b in [Factory]; c in [User]".
QString KeysWords(const std::vector<setup::Diagnostic>& items) {
    QStringList groups;
    for (const setup::SectionKeys& group : setup::KeysBySection(items)) {
        QStringList keys;
        for (const std::string& key : group.keys)
            keys << Local(key);
        groups
            << Words::tr("%1 in [%2]").arg(keys.join(QStringLiteral(", ")), Local(group.section));
    }
    return groups.join(QStringLiteral("; "));
}

QString FamilyWords(bool newFamily) {
    const QString version = Local(setup::FirmwareText(setup::kNewLayoutFirmware));
    return newFamily ? Words::tr("firmware %1 or later").arg(version)
                     : Words::tr("firmware below %1").arg(version);
}

} // namespace

QString SendConcernsWords(const setup::SendConcerns& concerns) {
    QStringList lines;
    if (concerns.family.found()) {
        const int unitVersion = concerns.family.firmwareVersion;
        const QString fileFamily = FamilyWords(!setup::NewLayoutFamily(unitVersion));
        lines << Words::tr("The file was made for units with %1; the unit has firmware %2.")
                     .arg(fileFamily, Local(setup::FirmwareText(unitVersion)));
        lines << Words::tr("Ignored (only units with %1 read them): %2.")
                     .arg(fileFamily, KeysWords(concerns.family.ignoredKeys));
    }
    if (!concerns.missingKeys.empty()) {
        lines << Words::tr("Sent as 0 (not in the file; texts as 0x00 bytes): %1.")
                     .arg(KeysWords(concerns.missingKeys));
    }
    for (const setup::Diagnostic& d : concerns.repeatedSections) {
        lines << Words::tr("[%1] is given again at line %2: only the section at line %3 is read.")
                     .arg(Local(setup::ShownText(d.section)))
                     .arg(d.line)
                     .arg(d.usedLine);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace koravel
