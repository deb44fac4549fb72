#pragma once
// The records of an analysis: one TFileInfo per file or folder entry found,
// one TDirNode per folder of the results tree.

#include "salvage/fs/DateTime.h"

#include <cstdint>
#include <string>
#include <vector>

namespace salvage {

// Condition of a found file (only assessed when the setting
// "Determinate file's recovery probability" is on).
inline constexpr std::uint8_t kNotAssessed = 0;
inline constexpr std::uint8_t kGood = 1;  // the clusters it needs are free
inline constexpr std::uint8_t kPoor = 2;  // some of them are in use

struct TFileInfo {
    std::uint32_t FileRef = 0;    // FAT: first cluster. NTFS: MFT record number.
    std::uint32_t ParentRef = 0;  // FAT: key of the containing directory. NTFS: parent's record number.
    std::string Name;             // as found; deleted FAT short names start with "?"
    std::uint64_t Size = 0;
    TDateTime Modified = 0;
    TDateTime Created = 0;
    std::uint8_t Condition = kNotAssessed;
    bool Deleted = false;         // the entry is deleted, or lies in a deleted folder
    // FAT: the entry's index in the reader's deleted-file map (where its
    // clusters lie); 0xFFFFFFFF (kNoFatEntry) for live entries and NTFS.
    std::uint32_t FatEntry = 0xFFFFFFFF;
};

struct TDirNode {
    std::uint32_t DirRef = 0;     // FAT: first cluster (root: its key). NTFS: record number.
    std::uint32_t ParentRef = 0;  // 0 for a placeholder
    std::string Name = "Unknown";
    TDateTime Modified = 0;
    TDateTime Created = 0;
    bool Deleted = false;         // the folder itself is deleted (or is a placeholder)
    std::vector<TFileInfo> Files; // in arrival order
    bool HasDeleted = false;      // a deleted file or folder lies in or below it
    std::int32_t TwinIndex = -1;  // absolute index of the matching node in the other tree
};

// A fresh folder record: Name "Unknown", no files, TwinIndex -1, the rest 0.
[[nodiscard]] inline TDirNode NewDirNode()
{
    return TDirNode{};
}

} // namespace salvage
