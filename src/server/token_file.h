// The station server's access token, kept in the config folder as
// koraveld.token (mode 0600): made at the first start that needs it, the
// same on every start after, printed by koraveld --show-token. An operator
// may write a token of their own there (16 to 256 printable characters).
#pragma once

#include <optional>
#include <string>

namespace server {

inline constexpr const char* kTokenFileName = "koraveld.token";

// The file's path in the config folder.
std::string TokenPath();

// The token from path; when there is no file, a new one is made and
// written. nullopt, with the reason in error, when the file cannot be read
// or written or holds no usable token.
std::optional<std::string> LoadOrCreateToken(const std::string& path, std::string& error);

} // namespace server
