#pragma once
// A compact description of a mostly empty volume, for fuzzing the readers of
// volumes that are megabytes long but hold their structures in a few sectors
// (NTFS: the boot sector, MFT records, the bitmaps).
//
// Input layout (all numbers little-endian):
//   u32  volume size in 512-byte sectors (0 or above kMaxVolumeSectors: the maximum)
//   then chunks, each:
//     u32  first sector
//     u16  byte count N
//     N    bytes laid at that sector (fewer when the input ends first)
// Everything outside the chunks reads as zeros; a later chunk overrides an
// earlier one where they overlap; bytes past the volume's end are dropped.
// Reads past the end fail like reads past a device's end.

#include "platform/Volume.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fuzzsupport {

inline constexpr std::uint32_t kChunkSectorSize = 512;
// Large enough for the reference images (6 MB), small enough that a scan of
// a volume's worth of zeros stays quick.
inline constexpr std::uint32_t kMaxVolumeSectors = 32u << 11;  // 32 MiB
inline constexpr std::size_t kMaxChunkBytes = 0xFFFF;

// A volume built from the layout above. Never null; an input too short for
// the header gives an empty volume of the maximum size.
[[nodiscard]] platform::VolumePtr MakeChunkVolume(std::span<const std::uint8_t> input);

// The other way round, for making seeds: the header for a volume of
// `sectors`, then `bytes` as chunks from `firstSector` (split as needed).
void AppendHeader(std::vector<std::uint8_t>& out, std::uint32_t sectors);
void AppendChunks(std::vector<std::uint8_t>& out, std::uint32_t firstSector, std::span<const std::uint8_t> bytes);

} // namespace fuzzsupport
