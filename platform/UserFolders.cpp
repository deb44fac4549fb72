#include "platform/UserFolders.h"

#include <cstdlib>

#if !defined(_WIN32)
#include <pwd.h>
#include <unistd.h>
#include <vector>
#endif

namespace platform {

std::string HomeFolder()
{
#if defined(_WIN32)
    const char* profile = std::getenv("USERPROFILE");
    return profile ? std::string(profile) : std::string();
#else
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
#endif
}

} // namespace platform
