#include "salvage/disk/PartitionTable.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace salvage;

namespace {

constexpr std::size_t kSector = 512;

void Put32(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void Put64(std::vector<std::uint8_t>& b, std::size_t off, std::uint64_t v)
{
    Put32(b, off, static_cast<std::uint32_t>(v));
    Put32(b, off + 4, static_cast<std::uint32_t>(v >> 32));
}

void MbrEntry(std::vector<std::uint8_t>& disk, std::uint64_t sector, int slot, std::uint8_t type,
              std::uint32_t start, std::uint32_t count)
{
    const std::size_t e = sector * kSector + 446 + static_cast<std::size_t>(slot) * 16;
    disk[e + 4] = type;
    Put32(disk, e + 8, start);
    Put32(disk, e + 12, count);
    disk[sector * kSector + 510] = 0x55;
    disk[sector * kSector + 511] = 0xAA;
}

} // namespace

TEST(PartitionTable, PrimaryAndLogicalMbrPartitions)
{
    std::vector<std::uint8_t> disk(4096 * kSector, 0);
    MbrEntry(disk, 0, 0, 0x0C, 64, 1000);
    MbrEntry(disk, 0, 1, 0x05, 2000, 2000);  // extended
    MbrEntry(disk, 2000, 0, 0x07, 32, 100);  // logical 5 at 2032
    MbrEntry(disk, 2000, 1, 0x05, 500, 300); // next EBR at 2500
    MbrEntry(disk, 2500, 0, 0x06, 16, 200);  // logical 6 at 2516
    const auto parts = ReadPartitionTable(*platform::MakeMemoryVolume(disk));
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].Number, 1);
    EXPECT_EQ(parts[0].StartSector, 64u);
    EXPECT_EQ(parts[0].SectorCount, 1000u);
    EXPECT_EQ(parts[0].Type, "0x0C");
    EXPECT_EQ(parts[1].Number, 5);
    EXPECT_EQ(parts[1].StartSector, 2032u);
    EXPECT_EQ(parts[1].Type, "0x07");
    EXPECT_EQ(parts[2].Number, 6);
    EXPECT_EQ(parts[2].StartSector, 2516u);
}

TEST(PartitionTable, LoopingExtendedChainEnds)
{
    std::vector<std::uint8_t> disk(4096 * kSector, 0);
    MbrEntry(disk, 0, 0, 0x0F, 1000, 3000);
    MbrEntry(disk, 1000, 0, 0x0B, 10, 10);
    MbrEntry(disk, 1000, 1, 0x05, 500, 10);  // EBR at 1500
    MbrEntry(disk, 1500, 0, 0x0B, 10, 10);
    MbrEntry(disk, 1500, 1, 0x05, 0, 10);    // offset 0: back to the first EBR, refused
    const auto parts = ReadPartitionTable(*platform::MakeMemoryVolume(disk));
    EXPECT_EQ(parts.size(), 2u);

    MbrEntry(disk, 1500, 1, 0x05, 500, 10);  // points at itself
    EXPECT_EQ(ReadPartitionTable(*platform::MakeMemoryVolume(disk)).size(), 2u);
}

TEST(PartitionTable, EntriesOutsideTheDiskAreDropped)
{
    std::vector<std::uint8_t> disk(128 * kSector, 0);
    MbrEntry(disk, 0, 0, 0x0C, 64, 1000);
    MbrEntry(disk, 0, 1, 0x0C, 8, 16);
    const auto parts = ReadPartitionTable(*platform::MakeMemoryVolume(disk));
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].Number, 2);
}

TEST(PartitionTable, AVolumeBootSectorIsNoPartitionTable)
{
    std::vector<std::uint8_t> disk(64 * kSector, 0);
    disk[0] = 0xEB;
    std::memcpy(&disk[3], "MSDOS5.0", 8);
    // Boot code bytes where the partition entries would be.
    for (std::size_t i = 446; i < 510; ++i)
        disk[i] = static_cast<std::uint8_t>(i * 7);
    disk[510] = 0x55;
    disk[511] = 0xAA;
    EXPECT_TRUE(ReadPartitionTable(*platform::MakeMemoryVolume(disk)).empty());
    disk[511] = 0;
    EXPECT_TRUE(ReadPartitionTable(*platform::MakeMemoryVolume(disk)).empty()) << "no signature";
}

TEST(PartitionTable, GptEntries)
{
    std::vector<std::uint8_t> disk(4096 * kSector, 0);
    MbrEntry(disk, 0, 0, 0xEE, 1, 4095);
    std::memcpy(&disk[kSector], "EFI PART", 8);
    Put64(disk, kSector + 72, 2);   // entries at LBA 2
    Put32(disk, kSector + 80, 4);   // four entries
    Put32(disk, kSector + 84, 128); // of 128 bytes
    const std::size_t e0 = 2 * kSector;
    disk[e0] = 0xA2;                // basic data type GUID starts EBD0A0A2
    disk[e0 + 1] = 0xA0;
    disk[e0 + 2] = 0xD0;
    disk[e0 + 3] = 0xEB;
    Put64(disk, e0 + 32, 2048);
    Put64(disk, e0 + 40, 4095);
    const std::size_t e2 = e0 + 2 * 128;
    disk[e2] = 1;
    Put64(disk, e2 + 32, 100);
    Put64(disk, e2 + 40, 50);       // last before first: dropped
    const auto parts = ReadPartitionTable(*platform::MakeMemoryVolume(disk));
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_TRUE(parts[0].Gpt);
    EXPECT_EQ(parts[0].Number, 1);
    EXPECT_EQ(parts[0].StartSector, 2048u);
    EXPECT_EQ(parts[0].SectorCount, 2048u);
    EXPECT_EQ(parts[0].Type.substr(0, 8), "EBD0A0A2");
}

TEST(PartitionTable, PartitionDiskIsAWindowOfTheWholeDisk)
{
    TLogicalDisk whole;
    whole.DevicePath = "/images/disk.img";
    PartitionEntry entry{2, 2048, 4096, "0x0C", false};
    const TLogicalDisk part = PartitionDisk(whole, entry);
    EXPECT_EQ(part.DevicePath, whole.DevicePath);
    EXPECT_EQ(part.ByteOffset, 2048u * 512);
    EXPECT_EQ(part.ByteLength, 4096u * 512);
}
