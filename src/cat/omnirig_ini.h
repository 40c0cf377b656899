// omnirig.ini in the config folder: the CAT back end's own settings, one
// section per rig ([Rig1], [Rig2]):
//
//   Model    Hamlib model number; 0 means "not configured" (status 0).
//            Default 2, Hamlib's NET rigctl.
//   Port     device path, or host:port for a network model. Default for the
//            NET rigctl model 127.0.0.1:4532 (rig 1) and 127.0.0.1:4533
//            (rig 2); for other models empty, which leaves Hamlib's default.
//   Speed    serial speed in baud; 0 or absent: the model's default.
//   PollMs   pause between two readings of the rig, 10 to 60000. Default 100.
//   Enabled  true or false; a disabled rig is not polled (status 1).
//            Default true.
//
// A missing file or key takes the default. A value that does not parse is an
// error naming the file, the section and the key; nothing is guessed.
//
// The file is read and written by the INI engine (ini/profile.h), with its
// rules: names compare without regard to case, a value in quotes is
// unquoted, a UTF-8 byte-order mark is read past and kept, saving replaces
// the keys in place and keeps every other line of the file.
#pragma once

#include <QString>

#include <array>

namespace cat {

constexpr int kRigCount = 2;
constexpr int kMinPollMs = 10;
constexpr int kMaxPollMs = 60000;
constexpr int kDefaultPollMs = 100;
constexpr int kNetRigctlModel = 2;

struct RigSettings {
    int model = kNetRigctlModel;
    QString port;
    int speed = 0;
    int pollMs = kDefaultPollMs;
    bool enabled = true;

    bool operator==(const RigSettings&) const = default;
};

using OmniRigSettings = std::array<RigSettings, kRigCount>;

// Defaults of rig 1 or rig 2 when omnirig.ini says nothing.
RigSettings DefaultRigSettings(int rigNumber);
// The port a rig uses when its section has no Port key.
QString DefaultPort(int rigNumber, int model);

// Full path of omnirig.ini in the folder.
QString OmniRigIniPath(const QString& configDir);

// Reads omnirig.ini from the folder. False, with the reason in error, when the
// file exists but cannot be read, or a value is not valid.
bool LoadOmniRigIni(const QString& configDir, OmniRigSettings& settings, QString* error);

// Writes both sections (other content of the file is kept; Enabled as true
// or false). The file is replaced through a temporary file, so a failure
// leaves the old one whole; a file that cannot be read is not replaced. A
// missing folder is made first (mode 0700, parents included).
bool SaveOmniRigIni(const QString& configDir, const OmniRigSettings& settings, QString* error);

} // namespace cat
