// The set of clusters read as directories: pages made as clusters arrive,
// the lowest and highest cluster numbers, and clusters taken out again.

#include "salvage/search/ClusterSet.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using salvage::TClusterSet;

TEST(ClusterSet, AgreesWithAnOrderedSet)
{
    TClusterSet set;
    std::set<std::uint32_t> expected;
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        // Clusters near page edges, and anywhere up to the highest number.
        const std::uint32_t c = i % 3 == 0 ? static_cast<std::uint32_t>(random())
                                           : (random() % 8) * 65536 + 65533 + random() % 6;
        if (random() % 5 == 0) {
            set.Erase(c);
            expected.erase(c);
        } else {
            ASSERT_EQ(set.Insert(c), expected.insert(c).second) << c;
        }
    }
    for (const std::uint32_t c : {0u, 65535u, 65536u, 0xFFFFFFFFu, 12345u})
        EXPECT_EQ(set.Contains(c), expected.count(c) != 0) << c;
    for (const std::uint32_t c : expected)
        ASSERT_TRUE(set.Contains(c)) << c;
    EXPECT_TRUE(set.Insert(0xFFFFFFFFu) || expected.count(0xFFFFFFFFu) != 0);
    EXPECT_FALSE(set.Insert(0xFFFFFFFFu));
    set.Clear();
    EXPECT_FALSE(set.Contains(0xFFFFFFFFu));
    set.Erase(3);  // nothing there: no page is made
    EXPECT_FALSE(set.Contains(3));
}
