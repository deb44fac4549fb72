#pragma once
// Whole-disk images for the command-line tests, made of the generated FAT16 volume.

#include "tests/support/TestData.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace clitest {

// A whole-disk image: an MBR whose partition 1 (type 0x0E) holds the FAT16
// test volume at sector 2048, and partition 2 holds nothing we can read.
inline std::string MakeDiskImage(const std::string& dir, bool secondFat)
{
    const auto volume = testdata::ReadFileBytes(testdata::FatVolume("fat16").image);
    const std::uint32_t sectors = static_cast<std::uint32_t>(volume.size() / 512);
    std::vector<std::uint8_t> disk((2048 + sectors) * 512ull + (secondFat ? volume.size() : 4096 * 512ull), 0);
    auto entry = [&](int slot, std::uint8_t type, std::uint32_t start, std::uint32_t count) {
        std::uint8_t* e = &disk[446 + 16 * slot];
        e[4] = type;
        std::memcpy(e + 8, &start, 4);
        std::memcpy(e + 12, &count, 4);
    };
    entry(0, 0x0E, 2048, sectors);
    entry(1, 0x83, 2048 + sectors, secondFat ? sectors : 4096);
    disk[510] = 0x55;
    disk[511] = 0xAA;
    std::memcpy(&disk[2048 * 512ull], volume.data(), volume.size());
    if (secondFat)
        std::memcpy(&disk[(2048ull + sectors) * 512], volume.data(), volume.size());
    const std::string path = dir + (secondFat ? "/two.img" : "/disk.img");
    testdata::WriteFileBytes(path, disk);
    return path;
}

} // namespace clitest
