// The LZNT1 decoder on raw bytes: the first byte picks the size of the unit
// to fill (1 to 16 chunks of 4096 bytes), the rest is the compressed data.
// A decoded unit must be filled whole: the output is pre-filled with a
// marker that zeros or data must have replaced.

#include "FuzzCommon.h"

#include "salvage/fs/Lznt1.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t chunks = (data[0] & 0x0F) + 1u;
    std::vector<std::uint8_t> out(chunks * salvage::ntfs::kLznt1ChunkBytes, 0xA5);
    const auto in = std::span(data + 1, size - 1);
    const auto result = salvage::ntfs::Lznt1Decompress(in, out);
    if (result == salvage::ntfs::TLznt1Result::Ok) {
        // Every byte that no chunk produced must be zero padding, so a unit
        // of nothing but zero padding is all zeros; any 0xA5 left in a unit
        // the input never touched would be uninitialised data.
        const std::vector<std::uint8_t> again = [&] {
            std::vector<std::uint8_t> o(out.size(), 0x5A);
            (void)salvage::ntfs::Lznt1Decompress(in, o);
            return o;
        }();
        if (again != out)
            fuzzsupport::Fail("the decoded unit depends on the buffer's old contents");
    }
    return 0;
}
