// The settings file koravel.ini: the serial port and the rig selection kept
// between runs. Other content of the file is left as it stands.
#pragma once

#include "station/config_dir.h"

#include <cstdint>
#include <optional>
#include <string>

namespace koravel {

struct Settings {
    std::string serialPort = "1"; // "Serialport" of [General], as text
    bool serialPortGiven = false; // the file holds "Serialport" (else the default)
    bool rig1 = false;            // "Rig1" of [OmniRig]
    bool rig2 = false;            // "Rig2" of [OmniRig]
};

// koravel.ini in the config folder.
std::string SettingsPath();

// The saved port number: "Serialport" converted as the window converts it
// (setup::ToInteger: decimal, or hexadecimal after "$", "x" or "0x", within
// 32 bits), so "x3" is port 3. nullopt when the text is not such an integer;
// NotAnIntegerMessage of ini/integer.h says so in the window's words. Every
// program that opens the saved port takes it from here.
std::optional<std::int32_t> SavedPortNumber(const Settings& settings);

// Reads the settings; defaults for a missing file or missing keys. A file
// that exists but cannot be read also gives the defaults, with the reason in
// warning.
Settings ReadSettings(const std::string& path, std::string& warning);

// Why WriteSettings could not replace the file, looked at without writing:
// the file is read-only, is not a regular file, cannot be read, or its
// folder takes no new files. None when it could.
struct SettingsSaveProblem {
    std::string where;     // the file, or its folder
    std::string reason;    // the system's or the INI layer's reason
    bool readOnly = false; // the file was made read-only
    // "PATH: reason".
    std::string Text() const { return where + ": " + reason; }
};
std::optional<SettingsSaveProblem> WhySettingsCannotBeSaved(const std::string& path);

// Writes the three keys into the file, keeping every other line, and replaces
// it atomically. A missing file is created, and its folder with it. False with a readable reason
// when the file cannot be read (it is then left alone, so nothing in it is lost), is read-only
// (left as it is), or cannot be written.
bool WriteSettings(const std::string& path, std::int32_t portNumber, bool rig1, bool rig2,
                   std::string& error);

} // namespace koravel
