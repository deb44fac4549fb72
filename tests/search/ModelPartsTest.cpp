// The model's small parts: size texts and the ordered integer list.

#include "salvage/search/ListInteger.h"
#include "salvage/search/SizeText.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace salvage;

TEST(SizeText, FormatsAtEachBoundary)
{
    EXPECT_EQ(FormatSize(-1), "");
    EXPECT_EQ(FormatSize(0), "0 bytes");
    EXPECT_EQ(FormatSize(1024), "1024 bytes");
    EXPECT_EQ(FormatSize(1025), "1.00 kb");
    EXPECT_EQ(FormatSize(1536), "1.50 kb");
    EXPECT_EQ(FormatSize(1048576), "1024.00 kb");
    EXPECT_EQ(FormatSize(1048577), "1.00 Mb");
    EXPECT_EQ(FormatSize(5LL << 30), "5120.00 Mb");  // Gb only above 10 GiB
    EXPECT_EQ(FormatSize(10LL << 30), "10240.00 Mb");
    EXPECT_EQ(FormatSize((10LL << 30) + 1), "10.00 Gb");
    EXPECT_EQ(FormatSize(1536, ','), "1,50 kb");
}

TEST(SizeText, ParsesWhatItFormats)
{
    EXPECT_EQ(ParseSize(""), 0);
    EXPECT_EQ(ParseSize("1024 bytes"), 1024);
    EXPECT_EQ(ParseSize("1.00 kb"), 1024);
    EXPECT_EQ(ParseSize("1024.00 kb"), 1048576);
    EXPECT_EQ(ParseSize("1.00 Mb"), 1048576);
    EXPECT_EQ(ParseSize("10240.00 Mb"), 10LL << 30);
    EXPECT_EQ(ParseSize("10.00 Gb"), 10LL << 30);
    EXPECT_EQ(ParseSize("1,50 kb", ','), 1536);
    EXPECT_EQ(ParseSize("not a size"), 0);
    // Round trips around each boundary: a text stands for the value it shows.
    const std::int64_t tenGb = 10LL << 30;
    const std::vector<std::pair<std::int64_t, std::int64_t>> trips = {
        {1023, 1023},       {1024, 1024},       {1025, 1024},       {1048575, 1048576},
        {1048576, 1048576}, {1048577, 1048576}, {tenGb - 1, tenGb}, {tenGb, tenGb},
        {tenGb + 1, tenGb},
    };
    for (const auto& [size, shown] : trips)
        EXPECT_EQ(ParseSize(FormatSize(size)), shown) << size;
}

TEST(ListInteger, KeepsAscendingOrderWithDuplicates)
{
    TListInteger list;
    EXPECT_FALSE(list.Contains(0));
    for (const int v : {5, 3, 5, -1, 9, 3, 3, 10, -7})
        list.Add(v);
    EXPECT_EQ(list.Items(), (std::vector<std::int32_t>{-7, -1, 3, 3, 3, 5, 5, 9, 10}));
    EXPECT_TRUE(list.Contains(-7));
    EXPECT_TRUE(list.Contains(10));
    EXPECT_FALSE(list.Contains(4));
    EXPECT_FALSE(list.Contains(11));
    EXPECT_EQ(list[2], 3);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_FALSE(list.Contains(3));
}

TEST(ListInteger, ManyValuesInAnyOrder)
{
    std::mt19937 rng(11);
    TListInteger list;
    std::multiset<std::int32_t> reference;
    for (int i = 0; i < 50000; ++i) {
        const auto v = static_cast<std::int32_t>(i % 5 == 0 ? i : static_cast<int>(rng() % 20000) - 10000);
        list.Add(v);
        reference.insert(v);
        if (i % 997 == 0) {
            ASSERT_EQ(list.Contains(v + 1), reference.count(v + 1) != 0);
        }
    }
    EXPECT_EQ(list.Items(), std::vector<std::int32_t>(reference.begin(), reference.end()));
}
