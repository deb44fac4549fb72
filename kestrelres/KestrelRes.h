#pragma once
// The resource library's one export. A loader calls it to make sure the
// library is in; it returns the system's millisecond tick count (32 bits,
// wrapping after 49.7 days) and does nothing else.
//
// kestrelres.dll exports it by ordinal 1 only, without a name
// (GetProcAddress(module, MAKEINTRESOURCEA(1))); the shared library of other
// systems exports it by the name kKestrelResTickSymbol. Where the resources
// are found: docs/kestrelres.md.

#include <cstdint>

#if defined(_WIN32)
#define KESTRELRES_EXPORT  // exported by kestrelres.def
#else
#define KESTRELRES_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KESTRELRES_EXPORT std::uint32_t KestrelResTickCount();

using KestrelResTickFunction = std::uint32_t (*)();
inline constexpr char kKestrelResTickSymbol[] = "KestrelResTickCount";
inline constexpr int kKestrelResTickOrdinal = 1;
