// The file-system chores of the station's folders: making a folder with its
// parents, and putting a symbolic link in place in one step. (Whole files are
// replaced by WriteFileAtomically of ini/atomic_file.h, one layer down, as
// the INI engine needs it too.)
#pragma once

#include <string>

namespace koravel {

// Creates dir when it does not exist, with every missing parent, each with
// mode 0700 (the user's own settings and links); folders already there keep
// their mode. False with a reason in error ("cannot create the folder
// <path>: ...") when one cannot be made or something other than a folder
// stands in its place.
bool MakeFolders(const std::string& dir, std::string& error);

// Makes linkPath a symbolic link to target, replacing whatever link or file
// stands there: the new link is made beside it and renamed over it, so a
// reader finds the old link or the new one, never none. The caller decides
// beforehand what may be replaced. False with a reason in error ("cannot
// create the link <path>: ..."); no temporary link is then left.
bool ReplaceSymlink(const std::string& linkPath, const std::string& target, std::string& error);

} // namespace koravel
