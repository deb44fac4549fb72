#pragma once
// Included before every test source of the Windows build: the POSIX calls
// some tests use to pin the time zone, over the C runtime's own. Windows takes
// local time from its own settings, not from TZ, so only tests that ask for
// the zone the Wine prefix runs in (UTC) give the same results there.
#if defined(_WIN32)
#include <cstdlib>
#include <ctime>
#include <string>

inline int setenv(const char* name, const char* value, int /*overwrite*/)
{
    return _putenv_s(name, value);
}

inline int unsetenv(const char* name)
{
    return _putenv_s(name, "");
}
#endif
