#include "setup/setup_file.h"

#include "setup/layouts.h"

namespace setup {

namespace {

OpenedFile Refuse(OpenedFile::Problem problem, const std::string& path, const std::string& reason) {
    OpenedFile opened;
    opened.problem = problem;
    opened.reason = reason;
    if (problem == OpenedFile::Problem::NoSetupData)
        opened.message = "The file \"" + path + "\" holds no set-up data.";
    else
        opened.message = "The file \"" + path + "\" cannot be read: " + reason + ".";
    return opened;
}

} // namespace

bool HoldsSetupData(const ini::Profile& file) {
    for (const BlockSpec& spec : BlockMap(0)) {
        if (file.Section(spec.section).KeyCount() != 0)
            return true;
    }
    return false;
}

OpenedFile OpenSetupFile(const std::string& path) {
    std::string error;
    std::optional<ini::Profile> file = ini::Profile::Load(path, error);
    if (!file)
        return Refuse(OpenedFile::Problem::Unreadable, path, error.empty() ? "read error" : error);
    if (!HoldsSetupData(*file))
        return Refuse(OpenedFile::Problem::NoSetupData, path, "");
    OpenedFile opened;
    opened.file = std::move(file);
    return opened;
}

} // namespace setup
