#pragma once
// What the access log holds in place of a login: a keyed hash of it
// (HMAC-SHA256) with a random key kept in the data folder. The log tells
// one user's lines from another's, and whoever has the key and a login can
// find that login's lines, but the log alone gives no login away.

#include <filesystem>
#include <string>

namespace zel::service {

// The key in `file`, made there (mode 0600) when there is none; throws
// std::runtime_error when it cannot be read or made.
std::string LoadOrMakeLogKey(const std::filesystem::path& file);

// 32 hex digits: the first half of the hash, plenty to tell users apart.
std::string LoginTag(const std::string& key, const std::string& login);

} // namespace zel::service
