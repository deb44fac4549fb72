// The whole FAT analysis over an arbitrary volume: the boot sector decides
// the kind, the reader is made, the search walks every directory (deleted
// ones included) with condition estimates on, and the filtered tree is built.
// Input: the raw bytes of a (small) volume.

#include "FuzzCommon.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::QuietMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    salvage::TFoundFileModel model;
    const auto analysis =
        fuzzsupport::AnalyseVolume(platform::MakeMemoryVolume(std::vector<std::uint8_t>(data, data + size)), model, true);
    if (!analysis)
        return 0;
    if (!salvage::IsFatKind(analysis->Kind()))
        return -1;  // an NTFS boot sector: fuzz_ntfs covers those
    fuzzsupport::WalkTree(model.Tree());
    fuzzsupport::WalkTree(model.FilterTree());
    return 0;
}
