// Data runs: decoding, VCN mapping and run lists that cannot be trusted.

#include "salvage/fs/DataRuns.h"

#include <gtest/gtest.h>

using namespace salvage::ntfs;
using Bytes = std::vector<std::uint8_t>;

TEST(NtfsDataRuns, DecodesRelativeAndSparseRuns)
{
    // 0x18 clusters at LCN 0x5634; 0x10 sparse; 4 clusters 0x100 back (negative offset).
    const Bytes runs = {0x21, 0x18, 0x34, 0x56, 0x01, 0x10, 0x21, 0x04, 0x00, 0xFF, 0x00};
    const TRunList list = DecodeDataRuns(runs, 0, 0);
    ASSERT_FALSE(list.Corrupt);
    ASSERT_EQ(list.Runs.size(), 3u);
    EXPECT_EQ(list.Runs[0].Vcn, 0u);
    EXPECT_EQ(list.Runs[0].Length, 0x18u);
    EXPECT_EQ(list.Runs[0].Lcn, 0x5634u);
    EXPECT_TRUE(list.Runs[1].Sparse);
    EXPECT_EQ(list.Runs[1].Vcn, 0x18u);
    EXPECT_EQ(list.Runs[1].Lcn, 0u);
    EXPECT_EQ(list.Runs[2].Vcn, 0x28u);
    EXPECT_EQ(list.Runs[2].Lcn, 0x5634u - 0x100u);  // relative to the last real run, not the sparse one

    // Mapping: inside a run, in the sparse run, past the end.
    const auto a = MapVcnInRuns(runs, 0, 5, 0);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Lcn, 0x5634u + 5);
    EXPECT_EQ(a->RunRemaining, 0x18u - 5);
    const auto s = MapVcnInRuns(runs, 0, 0x20, 0);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->Sparse);
    EXPECT_EQ(s->Lcn, 0u);
    EXPECT_FALSE(MapVcnInRuns(runs, 0, 0x2C, 0));
    // The decoded vector maps the same way.
    const auto v = MapVcnInRuns(list.Runs, 0x29);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->Lcn, 0x5634u - 0x100u + 1);
    EXPECT_EQ(v->RunRemaining, 3u);
    EXPECT_FALSE(MapVcnInRuns(list.Runs, 0x2C));

    // An extent starting at a later VCN.
    const auto e = MapVcnInRuns(runs, 100, 101, 0);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Lcn, 0x5635u);
    EXPECT_FALSE(MapVcnInRuns(runs, 100, 99, 0));
}

TEST(NtfsDataRuns, UntrustworthyListsStopAtTheFirstBadRun)
{
    struct Case {
        const char* what;
        Bytes runs;
        std::size_t good;  // runs before the bad one
    };
    const Case cases[] = {
        {"length nibble above 8", {0x11, 0x02, 0x10, 0x19, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x01, 0x00}, 1},
        {"offset nibble above 8", {0x11, 0x02, 0x10, 0x91, 0x01, 0x00}, 1},
        {"zero-width length", {0x11, 0x02, 0x10, 0x10, 0x05, 0x00}, 1},
        {"zero length", {0x11, 0x02, 0x10, 0x11, 0x00, 0x05, 0x00}, 1},
        {"fields past the list", {0x11, 0x02, 0x10, 0x44, 0x01, 0x02}, 1},
        {"no end marker", {0x11, 0x02, 0x10}, 1},
        {"empty list", {}, 0},
        {"negative LCN", {0x11, 0x02, 0x10, 0x11, 0x02, 0xE0, 0x00}, 1},
        {"negative length", {0x18, 0x02, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x05, 0x00}, 0},
        {"run past the volume", {0x11, 0x02, 0x10, 0x21, 0x10, 0xF0, 0x03, 0x00}, 1},
        {"VCN overflow", {0x11, 0x02, 0x10, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F,
                          0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TRunList list = DecodeDataRuns(c.runs, 0, 1024);  // a volume of 1024 clusters
        EXPECT_TRUE(list.Corrupt);
        EXPECT_EQ(list.Runs.size(), c.good);
        // Mapping never passes the last good run.
        std::uint64_t end = 0;
        for (const TDataRun& r : list.Runs)
            end = r.Vcn + r.Length;
        EXPECT_FALSE(MapVcnInRuns(c.runs, 0, end, 1024));
        // A decoder keeps answering the same after the end.
        TRunDecoder decoder(c.runs, 0, 1024);
        TDataRun run;
        for (std::size_t i = 0; i < c.good; ++i)
            ASSERT_EQ(decoder.Next(run), TRunDecoder::Step::Run);
        EXPECT_EQ(decoder.Next(run), TRunDecoder::Step::Corrupt);
        EXPECT_EQ(decoder.Next(run), TRunDecoder::Step::Corrupt);
    }
}
