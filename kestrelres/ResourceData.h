#pragma once
// The library's resources in Qt's binary resource format (rcc --binary),
// compiled in by EmbedBytes.cmake at build time.

namespace kestrelres {

extern const unsigned char kResourceData[];

} // namespace kestrelres
