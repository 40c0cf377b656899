#include "station/files.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace koravel {

namespace {

// One folder: kept when it is there, made (mode 0700) when it is not.
bool MakeOne(const std::string& dir, std::string& error) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        if (::mkdir(dir.c_str(), 0700) == 0)
            return true;
        const int reason = errno;
        // Another process may have made it in the meantime.
        if (reason != EEXIST || ::stat(dir.c_str(), &st) != 0) {
            error = "cannot create the folder " + dir + ": " + std::strerror(reason);
            return false;
        }
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "cannot create the folder " + dir + ": a file of that name is in the way";
        return false;
    }
    return true;
}

} // namespace

bool MakeFolders(const std::string& dir, std::string& error) {
    if (dir.empty()) {
        error = "no folder given";
        return false;
    }
    // Every prefix that ends before a slash, then the folder itself.
    for (size_t slash = dir.find('/', 1); slash != std::string::npos;
         slash = dir.find('/', slash + 1)) {
        if (dir[slash - 1] == '/')
            continue; // a doubled slash
        if (!MakeOne(dir.substr(0, slash), error))
            return false;
    }
    return MakeOne(dir, error);
}

bool ReplaceSymlink(const std::string& linkPath, const std::string& target, std::string& error) {
    const std::string temp = linkPath + ".new" + std::to_string(::getpid());
    ::unlink(temp.c_str()); // left by an earlier process of the same id
    if (::symlink(target.c_str(), temp.c_str()) != 0) {
        error = "cannot create the link " + linkPath + ": " + std::strerror(errno);
        return false;
    }
    if (::rename(temp.c_str(), linkPath.c_str()) != 0) {
        error = "cannot create the link " + linkPath + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace koravel
