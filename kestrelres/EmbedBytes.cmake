# cmake -DIN=FILE -DOUT=FILE.cpp -P EmbedBytes.cmake
# Writes FILE's bytes as kestrelres::kResourceData into a C++
# source, so that the library carries them without a loader of its own.
file(READ "${IN}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){20})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${IN}" NAME)
file(WRITE "${OUT}.tmp"
"// Generated at build time from ${name}; do not edit.
#include \"kestrelres/ResourceData.h\"

namespace kestrelres {

alignas(16) const unsigned char kResourceData[] = {
    ${bytes}
};

} // namespace kestrelres
")
file(RENAME "${OUT}.tmp" "${OUT}")
