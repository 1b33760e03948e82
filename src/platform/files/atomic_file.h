// Replacing a file so that a crash leaves either the old contents or the
// new, never half of either: a temporary file beside it, fsync, rename, and
// fsync of the folder so that the rename itself is durable.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// `path` is a host path. Keeps the mode of the file it replaces (0644 for a
// new one). A `secret` file (one that may hold a password) is 0600 when new
// and loses any group and other bits it had. False with errno set when any
// step failed; the old file is then untouched and no temporary file is left.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, bool secret = false);

}  // namespace platform
