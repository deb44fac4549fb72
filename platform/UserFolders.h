#pragma once
// The user's own folders.

#include <string>

namespace platform {

// $HOME (or the password database's entry) on POSIX, %USERPROFILE% on
// Windows. Empty when neither can be found.
[[nodiscard]] std::string HomeFolder();

} // namespace platform
