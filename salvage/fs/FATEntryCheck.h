#pragma once
// What a 32-byte directory slot holds, judged by the rules a FAT driver
// follows when it writes one. A walk of live or deleted directories (the
// main search and the wizard's scan alike) reports only the slots judged a
// file or a directory; the rest is an unused slot, part of a long name, the
// volume label, or bytes that no driver wrote as an entry (a leftover slot
// of a long name, a cluster that now holds file data).

#include "salvage/disk/Bytes.h"
#include "salvage/fs/FATLayout.h"

#include <cstdint>
#include <string>

namespace salvage {

class TFAT32;

enum class TFatSlot : std::uint8_t {
    NeverUsed,    // first byte 0
    LongName,     // attribute 0x0F
    VolumeLabel,  // attribute 0x08 without the long-name bits: not a file
    File,
    Directory,
    Implausible,  // no driver writes such an entry
};

// The volume facts an entry is checked against.
struct TFatEntryLimits {
    std::uint8_t FATType = fat::kFAT12;
    std::uint32_t ClusterLimit = 0;  // one past the highest cluster number
    std::uint64_t DataBytes = 0;     // bytes of the data area
};

[[nodiscard]] TFatEntryLimits EntryLimitsOf(const TFAT32& fat);

// The first cluster as the FAT type stores it: bytes 20-21 hold its high
// word on FAT32 only (FAT12/16 drivers keep other data there).
[[nodiscard]] std::uint32_t EntryFirstCluster(const fat::TDirEntry& entry, std::uint8_t fatType);

// The kind of slot, checked rule by rule: attribute bits a driver writes
// (the two reserved bits clear, no label that is also a directory), name
// bytes a short name may hold ("." and ".." only as themselves), a first
// cluster inside the volume (0 only for empty files and the ".." of a folder
// in the root) and a size the volume can hold.
[[nodiscard]] TFatSlot ClassifyDirEntry(const fat::TDirEntry& entry, const TFatEntryLimits& limits);

// True when a whole cluster of a deleted directory reads as a run of its
// entries: every slot is unused, a long-name part or an entry that passes
// ClassifyDirEntry, and at least one slot is in use. `goesOn` tells whether
// the directory may go on in another cluster: the unused slots at its end
// (a driver writes entries one after another) are too few for the longest
// entry, a long name of 20 parts and its short entry, which a driver then
// puts into a new cluster whole.
[[nodiscard]] bool IsDirectoryCluster(ByteSpan cluster, const TFatEntryLimits& limits, bool& goesOn);

// The volume's label: the label entry of the root directory (the one a
// driver keeps up to date), else the boot sector's label field; empty when
// neither names one.
[[nodiscard]] std::string FatVolumeLabel(TFAT32& fat);

} // namespace salvage
