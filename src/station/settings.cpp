#include "station/settings.h"

#include "ini/atomic_file.h"
#include "ini/integer.h"
#include "ini/profile.h"
#include "station/config_dir.h"
#include "station/files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace koravel {

namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kSerialPort = "Serialport";
constexpr const char* kOmniRig = "OmniRig";
constexpr const char* kRig1 = "Rig1";
constexpr const char* kRig2 = "Rig2";

bool FileAbsent(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(path, ec);
    return status.type() == std::filesystem::file_type::not_found;
}

} // namespace

std::string SettingsPath() {
    return JoinPath(ConfigDir(), kSettingsFileName);
}

std::optional<std::int32_t> SavedPortNumber(const Settings& settings) {
    return setup::ToInteger(settings.serialPort);
}

Settings ReadSettings(const std::string& path, std::string& warning) {
    Settings settings;
    warning.clear();
    if (FileAbsent(path))
        return settings;
    std::string error;
    const std::optional<ini::Profile> profile = ini::Profile::Load(path, error);
    if (!profile) {
        warning = path + ": " + error;
        return settings;
    }
    if (std::optional<std::string> port = profile->Get(kGeneral, kSerialPort)) {
        settings.serialPort = std::move(*port);
        settings.serialPortGiven = true;
    }
    settings.rig1 = ini::GetProfileBool(*profile, kOmniRig, kRig1, false);
    settings.rig2 = ini::GetProfileBool(*profile, kOmniRig, kRig2, false);
    return settings;
}

std::optional<SettingsSaveProblem> WhySettingsCannotBeSaved(const std::string& path) {
    std::string why;
    if (!FileAbsent(path)) {
        if (!ini::MayReplaceFile(path, why))
            return SettingsSaveProblem{path, why, why == ini::kReadOnlyReason};
        if (!ini::Profile::Load(path, why))
            return SettingsSaveProblem{path, why, false};
    }
    // The new file is made beside it: the folder must take one (a folder
    // yet to be made is looked at when it is made).
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && std::filesystem::is_directory(folder, ec) &&
        ::access(folder.c_str(), W_OK | X_OK) != 0) {
        return SettingsSaveProblem{folder.string(), std::strerror(errno), false};
    }
    return std::nullopt;
}

bool WriteSettings(const std::string& path, std::int32_t portNumber, bool rig1, bool rig2,
                   std::string& error) {
    ini::Profile profile;
    if (!FileAbsent(path)) {
        std::optional<ini::Profile> existing = ini::Profile::Load(path, error);
        if (!existing) {
            error = path + ": " + error;
            return false;
        }
        profile = std::move(*existing);
    }
    // The config folder is made when the settings are first written.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!folder.empty() && !MakeFolders(folder, error))
        return false;
    profile.Set(kGeneral, kSerialPort, std::to_string(portNumber));
    profile.Set(kOmniRig, kRig1, rig1 ? "1" : "0");
    profile.Set(kOmniRig, kRig2, rig2 ? "1" : "0");
    if (!profile.Save(path, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace koravel
