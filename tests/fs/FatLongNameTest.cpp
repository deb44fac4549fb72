// Long names told from their parts: thirteen ASCII characters a part are
// taken a word at a time, everything else character by character. Random
// runs of parts, mixing full ASCII parts with NULs, padding, characters
// beyond ASCII and unpaired surrogates, must give the name a plain
// reading of the units gives.

#include "salvage/disk/MemoryStream.h"
#include "salvage/fs/FAT.h"
#include "salvage/fs/TextConvert.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

using namespace salvage;
using namespace salvage::fat;

namespace {

constexpr std::uint8_t kArchive = 0x20;
constexpr std::array<std::size_t, 13> kUnitOffsets{1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

using Part = std::array<char16_t, 13>;

TDirEntry LongEntryOfUnits(const Part& units)
{
    TDirEntry e{};
    e[kEntryAttributes] = kAttrLongName;
    for (std::size_t i = 0; i < units.size(); ++i) {
        e[kUnitOffsets[i]] = static_cast<std::uint8_t>(units[i]);
        e[kUnitOffsets[i] + 1] = static_cast<std::uint8_t>(units[i] >> 8);
    }
    return e;
}

// The name read unit by unit: each of a part's three runs (5, 6 and 2
// units) up to its first NUL, the parts from the last entry back to the
// first, as text with the padding and bad surrogates as "?", trailing "?"
// dropped.
std::string PlainReading(const std::vector<Part>& stored)
{
    std::u16string units;
    for (auto part = stored.rbegin(); part != stored.rend(); ++part)
        for (const auto& [from, to] : {std::pair{0, 5}, std::pair{5, 11}, std::pair{11, 13}})
            for (int i = from; i < to && (*part)[static_cast<std::size_t>(i)] != 0; ++i)
                units += (*part)[static_cast<std::size_t>(i)];
    std::string name = Utf16UnitsToUtf8(units);
    while (!name.empty() && name.back() == '?')
        name.pop_back();
    return name;
}

// Parts as a directory holds them (first entry first) and the short entry
// after them; reads the name as a walk does.
std::string ReadStored(const std::vector<Part>& stored, TDirEntry& shortEntry)
{
    TMemoryStream data;
    for (const Part& part : stored) {
        const TDirEntry e = LongEntryOfUnits(part);
        data.Append(e);
    }
    TDirEntry owner{};
    owner[0] = 'A';
    owner[kEntryAttributes] = kArchive;
    data.Append(owner);
    TDirEntry first{};
    data.ReadBuffer(first.data(), first.size());
    std::string name = "left over from the entry before";
    ReadLongName(first, data, name);
    shortEntry = first;
    EXPECT_EQ(data.Position(), data.Size()) << "the stream stands after the short entry";
    return name;
}

char16_t RandomUnit(std::mt19937& random, bool asciiOnly)
{
    static const std::array<char16_t, 12> kOther{0x0000, 0xFFFF, 0x00E9, 0x4E2D, 0x0100, 0x007F,
                                                 0x0080, 0xD83D, 0xDE00, 0x0041, 0x2000, 0x00FF};
    if (asciiOnly || random() % 4 != 0)
        return static_cast<char16_t>(0x20 + random() % 0x5F);
    return kOther[random() % kOther.size()];
}

} // namespace

TEST(FatLongName, WordAtATimeReadingAgreesWithAPlainOne)
{
    std::mt19937 random(20261209);
    for (int round = 0; round < 4000; ++round) {
        std::vector<Part> stored(1 + random() % 4);
        for (Part& part : stored) {
            // Half the parts are ASCII throughout, as most parts are.
            const bool asciiOnly = random() % 2 == 0;
            for (char16_t& unit : part)
                unit = RandomUnit(random, asciiOnly);
        }
        TDirEntry shortEntry{};
        const std::string name = ReadStored(stored, shortEntry);
        ASSERT_EQ(name, PlainReading(stored)) << "round " << round;
        EXPECT_EQ(shortEntry[kEntryAttributes], kArchive);
    }
}

TEST(FatLongName, PartsAtTheEdgesOfTheWordTest)
{
    auto ascii = [](const char* text) {
        Part p{};
        for (std::size_t i = 0; i < p.size(); ++i)
            p[i] = static_cast<char16_t>(text[i]);
        return p;
    };
    TDirEntry owner{};
    // Thirteen characters exactly, the last part first as stored.
    EXPECT_EQ(ReadStored({ascii("NOPQRSTUVWXYZ"), ascii("abcdefghijklm")}, owner), "abcdefghijklmNOPQRSTUVWXYZ");
    // 0x7F is ASCII, 0x80 is not; a unit of 0x0100 has a low byte of 0.
    for (const char16_t odd : {char16_t{0x7F}, char16_t{0x80}, char16_t{0x100}, char16_t{0xFFFF}}) {
        for (std::size_t at = 0; at < 13; ++at) {
            Part p = ascii("abcdefghijklm");
            p[at] = odd;
            ASSERT_EQ(ReadStored({p}, owner), PlainReading({p})) << "unit " << at << " = " << int(odd);
        }
    }
    // A NUL in each run ends that run only.
    Part p = ascii("abcdefghijklm");
    p[2] = 0;
    p[7] = 0;
    p[12] = 0;
    EXPECT_EQ(ReadStored({p}, owner), "abfgl");
}
