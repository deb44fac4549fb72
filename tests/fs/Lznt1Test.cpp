// The LZNT1 decoder on hand-built chunks: literals, back references (also
// overlapping ones, and the offset/length split moving as the chunk grows),
// chunks stored plainly, short chunks and units, and input that cannot be
// right. Whole compressed files written by libntfs-3g are checked against
// ntfscat in the recovery tests.

#include "salvage/fs/Lznt1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace salvage::ntfs;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A chunk header for `dataBytes` bytes of chunk data.
void Header(Bytes& b, std::size_t dataBytes, bool compressed)
{
    const unsigned h = static_cast<unsigned>(dataBytes - 1) | 0x3000u | (compressed ? 0x8000u : 0u);
    b.push_back(static_cast<std::uint8_t>(h));
    b.push_back(static_cast<std::uint8_t>(h >> 8));
}

// A compressed chunk from groups already laid out (flag bytes and tokens).
Bytes Chunk(const Bytes& data)
{
    Bytes b;
    Header(b, data.size(), true);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

void Token(Bytes& b, unsigned lengthBits, std::size_t back, std::size_t length)
{
    const unsigned t = static_cast<unsigned>(((back - 1) << lengthBits) | (length - 3));
    b.push_back(static_cast<std::uint8_t>(t));
    b.push_back(static_cast<std::uint8_t>(t >> 8));
}

Bytes Decode(const Bytes& in, std::size_t outSize, TLznt1Result expected = TLznt1Result::Ok)
{
    Bytes out(outSize, 0xEE);
    EXPECT_EQ(Lznt1Decompress(in, out), expected);
    return out;
}

std::string Text(const Bytes& b, std::size_t n)
{
    return std::string(b.begin(), b.begin() + static_cast<long>(n));
}

} // namespace

TEST(Lznt1, LiteralsAndOverlappingReferencesAndZeroPadding)
{
    // "abc" then a reference 3 back, 9 long: "abcabcabc" (it overlaps itself).
    Bytes d = {0x08, 'a', 'b', 'c'};
    Token(d, 12, 3, 9);
    const Bytes out = Decode(Chunk(d), 8192);
    EXPECT_EQ(Text(out, 12), "abcabcabcabc");
    // The chunk stands for 4096 bytes: what it did not produce is zeros, and
    // so is the rest of the unit after the input ends.
    EXPECT_EQ(Bytes(out.begin() + 12, out.end()), Bytes(8192 - 12, 0));
}

TEST(Lznt1, TheOffsetGrowsAsTheChunkDoes)
{
    // 32 literals, then a reference: the length takes 12 bits up to 16
    // bytes into the chunk and one bit fewer per doubling after that, so
    // 11 bits here (read with 12 it would run past the chunk).
    Bytes d;
    std::string expected;
    for (int g = 0; g < 4; ++g) {
        d.push_back(0x00);
        for (int i = 0; i < 8; ++i) {
            const char c = static_cast<char>('A' + g * 8 + i);
            d.push_back(static_cast<std::uint8_t>(c));
            expected += c;
        }
    }
    d.push_back(0x01);
    Token(d, 11, 32, 5);  // 32 produced: 11 length bits
    expected += expected.substr(0, 5);
    const Bytes out = Decode(Chunk(d), 4096);
    EXPECT_EQ(Text(out, expected.size()), expected);
}

TEST(Lznt1, ChunksStoredPlainlyAndSeveralChunksInAUnit)
{
    Bytes in;
    Bytes plain(4096);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<std::uint8_t>(i * 31 + 7);
    Header(in, plain.size(), false);
    in.insert(in.end(), plain.begin(), plain.end());
    const Bytes second = Chunk({0x00, 'x', 'y'});
    in.insert(in.end(), second.begin(), second.end());
    in.push_back(0);  // end of the unit's data
    in.push_back(0);
    const Bytes out = Decode(in, 3 * 4096);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4096), plain);
    EXPECT_EQ(Text(Bytes(out.begin() + 4096, out.end()), 2), "xy");
    EXPECT_EQ(Bytes(out.begin() + 4098, out.end()), Bytes(2 * 4096 - 2, 0));
}

TEST(Lznt1, InputThatCannotBeRightIsRefused)
{
    // A reference before anything was produced.
    Bytes d = {0x01};
    Token(d, 12, 1, 3);
    Decode(Chunk(d), 4096, TLznt1Result::Corrupt);
    // A reference further back than the chunk's start.
    d = {0x02, 'a'};
    Token(d, 12, 2, 3);
    Decode(Chunk(d), 4096, TLznt1Result::Corrupt);
    // A reference running past the chunk's 4096 bytes.
    d = {0x02, 'a'};
    Token(d, 12, 1, 4098);
    Decode(Chunk(d), 4096, TLznt1Result::Corrupt);
    // A header without the signature bits, and a chunk longer than the input.
    Decode({0x05, 0x80, 0x00, 'a', 'b', 'c', 'd', 'e'}, 4096, TLznt1Result::Corrupt);
    Bytes truncated = Chunk({0x00, 'a', 'b', 'c'});
    truncated.pop_back();
    Decode(truncated, 4096, TLznt1Result::Corrupt);
    // A token cut in half at the chunk's end.
    Decode(Chunk({0x02, 'a', 0x00}), 4096, TLznt1Result::Corrupt);
    // A plain chunk bigger than what is left of the output.
    Bytes big;
    Header(big, 4096, false);
    big.resize(big.size() + 4096, 'q');
    Decode(big, 2048, TLznt1Result::Corrupt);
}

TEST(Lznt1, EmptyInputAndOutputsAreZeros)
{
    EXPECT_EQ(Decode({}, 4096), Bytes(4096, 0));
    EXPECT_EQ(Decode({0x00, 0x00, 'j', 'u', 'n', 'k'}, 4096), Bytes(4096, 0));
    Bytes none;
    EXPECT_EQ(Lznt1Decompress(Chunk({0x00, 'a'}), none), TLznt1Result::Ok);
}
