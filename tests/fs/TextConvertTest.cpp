#include "salvage/fs/TextConvert.h"

#include "platform/Utf16.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

using namespace salvage;

TEST(TextConvert, Utf16ToUtf8)
{
    EXPECT_EQ(Utf16UnitsToUtf8(u"readme.txt"), "readme.txt");
    EXPECT_EQ(Utf16UnitsToUtf8(u"\u00DCbergr\u00F6\u00DFe"), "\xC3\x9C" "bergr\xC3\xB6\xC3\x9F" "e");
    EXPECT_EQ(Utf16UnitsToUtf8(u"\u65E5\u672C"), "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(Utf16UnitsToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80") << "surrogate pair";
}

TEST(TextConvert, UnrepresentableUnitsBecomeQuestionMarks)
{
    const char16_t padded[] = {u'a', 0xFFFF, 0xFFFF};
    EXPECT_EQ(Utf16UnitsToUtf8({padded, 3}), "a??");
    const char16_t lone[] = {0xD800, u'b', 0xDC00};
    EXPECT_EQ(Utf16UnitsToUtf8({lone, 3}), "?b?");
    const std::vector<std::uint8_t> bytes = {'h', 0, 'i', 0, 0xFF};
    EXPECT_EQ(Utf16LeToUtf8(bytes), "hi") << "odd trailing byte ignored";
}

TEST(TextConvert, OemNamesUseCodePage437)
{
    EXPECT_EQ(OemToUtf8("README.TXT"), "README.TXT");
    EXPECT_EQ(OemToUtf8("\x81" "BER"), "\xC3\xBC" "BER");
    EXPECT_EQ(OemToUtf8("\xE5"), "\xCF\x83");
}

TEST(TextConvert, ReplaceFirstCharTakesAWholeSequence)
{
    std::string s = "\xCF\x83" "AB";
    ReplaceFirstChar(s, '?');
    EXPECT_EQ(s, "?AB");
    s = "xAB";
    ReplaceFirstChar(s, '?');
    EXPECT_EQ(s, "?AB");
    s.clear();
    ReplaceFirstChar(s, '?');
    EXPECT_EQ(s, "");
}

// The conversion of names gives what the platform's conversion gives once
// the long-name padding is replaced, for units of every kind in any order.
TEST(TextConvert, NamesAsThePlatformConvertsThem)
{
    std::mt19937 random(17);
    const char16_t kinds[] = {u'a', u'~', 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFE, 0xFFFF};
    for (int round = 0; round < 20000; ++round) {
        std::u16string units(random() % 12, u'\0');
        for (char16_t& u : units)
            u = random() % 3 == 0 ? static_cast<char16_t>(random()) : kinds[random() % std::size(kinds)];
        std::u16string replaced = units;
        std::replace(replaced.begin(), replaced.end(), u'\xFFFF', u'?');
        ASSERT_EQ(Utf16UnitsToUtf8(units), platform::Utf16ToUtf8(replaced)) << round;
    }
}
