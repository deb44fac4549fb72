#pragma once
// The records of an analysis: one TFileInfo per file or folder entry found,
// one TDirNode per folder of the results tree.

#include "salvage/fs/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>
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
    TDateTime Accessed = 0;       // FAT keeps the day only
    std::uint8_t Condition = kNotAssessed;
    bool Deleted = false;         // the entry is deleted, or lies in a deleted folder
    // NTFS: the record's full file reference as found (record number in the
    // low 48 bits, sequence number in the top 16): the recovery takes the
    // record only while its sequence number is still this one.
    std::uint64_t FullRef = 0;
    // NTFS: a named data stream of the record is a row of its own, named
    // "file:stream"; this is where the stream's name starts in Name (10 in
    // "notes.txt:ADS"), 0 for the file's own data. An offset rather than a
    // string: it costs two bytes in every record of a big volume.
    std::uint16_t StreamAt = 0;
    bool Encrypted = false;       // NTFS: EFS; the stored bytes cannot be read without the owner's key
    bool Compressed = false;      // NTFS: stored compressed (LZNT1)
    // FAT: the entry's index in the reader's deleted-file map (where its
    // clusters lie); 0xFFFFFFFF (kNoFatEntry) for live entries and NTFS.
    std::uint32_t FatEntry = 0xFFFFFFFF;
};

// The name of the stream a found record stands for ("" for a file's own data).
[[nodiscard]] inline std::string_view StreamName(const TFileInfo& file) noexcept
{
    if (file.StreamAt == 0 || file.StreamAt > file.Name.size())
        return {};
    return std::string_view(file.Name).substr(file.StreamAt);
}

struct TDirNode {
    std::uint32_t DirRef = 0;     // FAT: first cluster (root: its key). NTFS: record number.
    std::uint32_t ParentRef = 0;  // 0 for a placeholder
    std::string Name = "Unknown";
    TDateTime Modified = 0;
    TDateTime Created = 0;
    TDateTime Accessed = 0;
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
