#include "kestrelres/KestrelRes.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <chrono>
#endif

std::uint32_t KestrelResTickCount()
{
#if defined(_WIN32)
    return GetTickCount();
#else
    // The monotonic clock counts from the system's start, as the tick count does.
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
#endif
}
