#include "server/token_file.h"

#include "ini/atomic_file.h"
#include "server/access.h"
#include "station/config_dir.h"
#include "station/files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace server {

namespace {

constexpr std::size_t kShortest = 16;
constexpr std::size_t kLongest = 256;

std::string Trimmed(std::string text) {
    const auto blank = [](unsigned char c) {
        return c == ' ' || c == '\n' || c == '\r' || c == '\t';
    };
    while (!text.empty() && blank(static_cast<unsigned char>(text.back())))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(static_cast<unsigned char>(text[start])))
        ++start;
    return text.substr(start);
}

} // namespace

std::string TokenPath() {
    return koravel::JoinPath(koravel::ConfigDir(), kTokenFileName);
}

std::optional<std::string> LoadOrCreateToken(const std::string& path, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return std::nullopt;
        }
        std::ostringstream text;
        text << in.rdbuf();
        const std::string token = Trimmed(text.str());
        if (token.size() < kShortest || token.size() > kLongest ||
            !std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7F; })) {
            error = path + " holds no usable token (16 to 256 printable characters); remove it "
                           "and a new one is made";
            return std::nullopt;
        }
        // A secret others may read is tightened, not trusted as it is.
        if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0600) != 0) {
            error = "cannot make " + path + " private (0600): " + std::strerror(errno);
            return std::nullopt;
        }
        return token;
    }
    if (errno != ENOENT) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::optional<std::string> token = NewToken(error);
    if (!token)
        return std::nullopt;
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && !koravel::MakeFolders(path.substr(0, slash), error))
        return std::nullopt;
    std::string writeError;
    if (!ini::WriteFileAtomically(path, *token + "\n", writeError, ini::FileSync::ToDisk,
                                  ini::FileAccess::OwnerOnly)) {
        error = "cannot write " + path + ": " + writeError;
        return std::nullopt;
    }
    return token;
}

} // namespace server
