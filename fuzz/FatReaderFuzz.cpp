// The FAT reader over an arbitrary volume: boot sector, FAT entries, cluster
// chains and a walk of every directory with its long names. Nothing may crash,
// overread or loop without end.

#include "salvage/fs/FAT.h"
#include "salvage/fs/FATEntryCheck.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace salvage;
using namespace salvage::fat;

namespace {

void WalkDirectory(TFAT32& fat, TMemoryStream data, int depth, int& directories)
{
    if (depth > 8 || ++directories > 64)
        return;
    TDirEntry e{};
    try {
        while (data.Position() + kDirEntrySize <= data.Size()) {
            data.ReadBuffer(e.data(), e.size());
            if (e[0] == kEntryNeverUsed)
                continue;
            const std::string name =
                e[kEntryAttributes] == kAttrLongName ? ReadLongName(e, data) : ShortEntryName(e);
            (void)DosDateTimeToDateTime(LoadLE16(e, kEntryWriteDate), LoadLE16(e, kEntryWriteTime));
            (void)fat.EstimateCondition(e);
            (void)ClassifyDirEntry(e, EntryLimitsOf(fat));
            if ((e[kEntryAttributes] & kAttrDirectory) != 0 && !name.empty() && name[0] != '.')
                WalkDirectory(fat, fat.ReadChain(EntryFirstCluster(e)), depth + 1, directories);
        }
    } catch (const EReadError&) {
        // A long-name run that runs off the end of the data ends this directory.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFAT32 fat(platform::MakeMemoryVolume(std::vector<std::uint8_t>(data, data + size)));
    if (!fat.Usable())
        return 0;
    for (std::uint32_t c = 0; c < 64; ++c)
        (void)fat.GetFATEntry(c * 37 + 2);
    TMemoryStream root;
    if (fat.FATType == kFAT32) {
        root = fat.ReadChain(fat.RootKey());
    } else {
        const std::uint64_t bytes = static_cast<std::uint64_t>(fat.RootEntries()) * kDirEntrySize;
        root = TMemoryStream(static_cast<std::size_t>(bytes));
        if (fat.ReadSectors(static_cast<std::uint32_t>(bytes / fat.BytesPerSector()), root.Buffer(), fat.RootKey()))
            return 0;
    }
    // Any cluster may be asked whether it reads as a folder's entries.
    for (std::uint32_t c = 2; c < 18; ++c) {
        bool failed = false;
        const TMemoryStream cluster = fat.ReadCluster(c, failed);
        bool goesOn = false;
        if (!failed)
            (void)IsDirectoryCluster(cluster.Bytes(), EntryLimitsOf(fat), goesOn);
    }
    int directories = 0;
    WalkDirectory(fat, std::move(root), 0, directories);
    return 0;
}
