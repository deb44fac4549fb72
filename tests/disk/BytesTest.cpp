#include "salvage/disk/Bytes.h"
#include "salvage/disk/MemoryStream.h"

#include <gtest/gtest.h>

#include <vector>

using namespace salvage;

TEST(Bytes, LoadsAreLittleEndianAndNeverOverread)
{
    const std::vector<std::uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
    EXPECT_EQ(LoadLE16(b, 0), 0x0201);
    EXPECT_EQ(LoadLE32(b, 4), 0x88070605u);
    EXPECT_EQ(LoadLE64(b, 0), 0x8807060504030201ull);
    // A field reaching past the end reads as 0.
    EXPECT_EQ(LoadLE16(b, 7), 0);
    EXPECT_EQ(LoadLE32(b, 6), 0u);
    EXPECT_EQ(LoadLE64(b, 1), 0u);
    EXPECT_EQ(LoadU8(b, 8), 0);
    EXPECT_EQ(LoadLE32(b, SIZE_MAX - 1), 0u);
}

TEST(Bytes, VariableWidthFieldsSignExtend)
{
    const std::vector<std::uint8_t> b = {0xFF, 0x7F, 0x00, 0x80};
    EXPECT_EQ(LoadLEVar(b, 0, 2), 0x7FFFu);
    EXPECT_EQ(LoadLEVarSigned(b, 0, 1), -1);
    EXPECT_EQ(LoadLEVarSigned(b, 0, 2), 0x7FFF);
    EXPECT_EQ(LoadLEVarSigned(b, 2, 2), -32768);
    EXPECT_EQ(LoadLEVarSigned(b, 0, 0), 0);
    EXPECT_EQ(LoadLEVarSigned(b, 0, 9), 0) << "widths above 8 are refused";
    EXPECT_EQ(LoadLEVar(b, 3, 2), 0u) << "past the end";
}

TEST(Bytes, InBoundsCannotOverflow)
{
    EXPECT_TRUE(InBounds(10, 0, 10));
    EXPECT_TRUE(InBounds(10, 10, 0));
    EXPECT_FALSE(InBounds(10, 11, 0));
    EXPECT_FALSE(InBounds(10, 5, 6));
    EXPECT_FALSE(InBounds(10, 5, SIZE_MAX));
    EXPECT_FALSE(InBounds(10, SIZE_MAX, 2));
}

TEST(Bytes, TrimmedFieldDropsPaddingAndControlCharacters)
{
    const std::string text("ab\0 FAT16 \t  xyz", 16);
    const std::vector<std::uint8_t> b(text.begin(), text.end());
    EXPECT_EQ(TrimmedField(b, 3, 10), "FAT16");
    EXPECT_EQ(TrimmedField(b, 10, 20), "") << "out of range";
}

TEST(MemoryStream, ReadBufferThrowsAtTheEndAndKeepsPosition)
{
    TMemoryStream s(std::vector<std::uint8_t>{1, 2, 3, 4, 5});
    std::uint8_t out[4] = {};
    s.ReadBuffer(out, 3);
    EXPECT_EQ(out[2], 3);
    EXPECT_EQ(s.Position(), 3u);
    EXPECT_THROW(s.ReadBuffer(out, 3), EReadError);
    EXPECT_EQ(s.Position(), 3u);
    s.ReadBuffer(out, 2);
    EXPECT_EQ(out[1], 5);
}
