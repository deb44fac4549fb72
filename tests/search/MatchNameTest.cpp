// Finding by name: a part of a name anywhere, or a mask over the whole name,
// case ignored either way.
#include "salvage/search/MatchName.h"

#include <gtest/gtest.h>

using salvage::MatchMask;
using salvage::MatchName;

TEST(MatchName, EmptyPatternMatchesEverything)
{
    EXPECT_TRUE(MatchName("", ""));
    EXPECT_TRUE(MatchName("anything.txt", ""));
}

TEST(MatchName, PlainPatternIsAPartOfTheNameCaseIgnored)
{
    EXPECT_TRUE(MatchName("Annual_REPORT.doc", "report"));
    EXPECT_TRUE(MatchName("Annual_REPORT.doc", "ANNUAL"));
    EXPECT_TRUE(MatchName("Annual_REPORT.doc", ".DOC"));
    EXPECT_TRUE(MatchName("Annual_REPORT.doc", "Annual_REPORT.doc"));
    EXPECT_FALSE(MatchName("Annual_REPORT.doc", "reports"));
    EXPECT_FALSE(MatchName("report", "Annual_REPORT"));
    EXPECT_FALSE(MatchName("", "a"));
    // Deleted FAT names keep their "?" placeholder; a plain pattern finds them by the rest.
    EXPECT_TRUE(MatchName("?RAG1.DAT", "rag1"));
}

TEST(MatchName, BracketsWithoutStarOrQuestionMarkAreLiteral)
{
    // Only "*" and "?" make a mask; "[ab]" alone is searched as it stands.
    EXPECT_TRUE(MatchName("x[ab]y", "[AB]"));
    EXPECT_FALSE(MatchName("a", "[ab]"));
}

TEST(MatchName, StarMaskMustMatchTheWholeName)
{
    EXPECT_TRUE(MatchName("Annual_REPORT.doc", "*.doc"));
    EXPECT_TRUE(MatchName("Annual_REPORT.DOC", "*.doc"));
    EXPECT_FALSE(MatchName("Annual_REPORT.docx", "*.doc"));
    EXPECT_FALSE(MatchName("old.doc.bak", "*.doc"));
    EXPECT_TRUE(MatchName("old.doc.bak", "*.doc*"));
    EXPECT_TRUE(MatchName("a", "*"));
    EXPECT_TRUE(MatchName("", "*"));
    EXPECT_TRUE(MatchName("abc", "a*c"));
    EXPECT_TRUE(MatchName("ac", "a*c"));
    EXPECT_TRUE(MatchName("abcbc", "a*bc"));
    EXPECT_FALSE(MatchName("abcb", "a*bc"));
    EXPECT_TRUE(MatchName("mississippi", "*sip*"));
    EXPECT_TRUE(MatchName("mississippi", "m*i*s*p*i"));
    EXPECT_FALSE(MatchName("mississippi", "m*x*"));
    EXPECT_TRUE(MatchName("frag1.dat", "**frag**.dat"));
}

TEST(MatchName, QuestionMarkIsOneCharacter)
{
    EXPECT_TRUE(MatchName("REPORT.TXT", "rep?rt.txt"));
    EXPECT_FALSE(MatchName("REPRT.TXT", "rep?rt.txt"));
    EXPECT_FALSE(MatchName("REPOORT.TXT", "rep?rt.txt"));
    EXPECT_TRUE(MatchName("?ING.DAT", "?ing.dat"));
    EXPECT_FALSE(MatchName("SING.DAT.X", "?ing.dat"));
    EXPECT_TRUE(MatchName("ab", "??"));
    EXPECT_FALSE(MatchName("abc", "??"));
    // One character, not one byte: "é" is two bytes of UTF-8.
    EXPECT_TRUE(MatchName("caf\xC3\xA9", "caf?"));
    EXPECT_FALSE(MatchName("caf\xC3\xA9", "caf??"));
}

TEST(MatchName, SetsOfCharactersAndRanges)
{
    EXPECT_TRUE(MatchName("frag1.dat", "frag[12].*"));
    EXPECT_TRUE(MatchName("frag2.dat", "frag[12].*"));
    EXPECT_FALSE(MatchName("frag3.dat", "frag[12].*"));
    EXPECT_TRUE(MatchName("frag3.dat", "frag[0-9].*"));
    EXPECT_TRUE(MatchName("FRAG3.DAT", "[e-g]rag*"));
    EXPECT_TRUE(MatchName("frag3.dat", "[E-G]RAG*"));
    EXPECT_FALSE(MatchName("drag3.dat", "[e-g]rag*"));
    // A range written backwards means the same range.
    EXPECT_TRUE(MatchName("frag3.dat", "frag[9-0].*"));
    // "!" right after "[": one character outside the set.
    EXPECT_TRUE(MatchName("frag3.dat", "frag[!12].*"));
    EXPECT_FALSE(MatchName("frag1.dat", "frag[!12].*"));
    EXPECT_FALSE(MatchName("frag1.dat", "frag[!0-9].*"));
    EXPECT_TRUE(MatchName("fragx.dat", "frag[!0-9].*"));
    // "-" first or last, and "]" first, are members.
    EXPECT_TRUE(MatchName("a-b", "a[-x]*"));
    EXPECT_TRUE(MatchName("a-b", "a[x-]*"));
    EXPECT_TRUE(MatchName("a]b", "a[]]*"));
    EXPECT_TRUE(MatchName("a]b", "a[!x]*"));
    // A set stands for exactly one character.
    EXPECT_FALSE(MatchName("frag.dat", "frag[0-9]*.dat"));
}

TEST(MatchName, WithoutSetsBracketsInAMaskAreOrdinaryCharacters)
{
    EXPECT_FALSE(MatchName("frag1.dat", "frag[12].*", false));
    EXPECT_TRUE(MatchName("frag[12].dat", "frag[12].*", false));
    EXPECT_TRUE(MatchName("FRAG[1].DAT", "*[1]*", false));
    EXPECT_TRUE(MatchName("a[b", "a[b", false));  // a part of the name, as with sets
}

TEST(MatchName, UnclosedBracketIsAnOrdinaryCharacter)
{
    EXPECT_TRUE(MatchName("a[b", "a[b*"));
    EXPECT_FALSE(MatchName("ab", "a[b*"));
    EXPECT_TRUE(MatchName("x[", "*["));
    EXPECT_TRUE(MatchName("x[!", "?[!"));
}

TEST(MatchName, CaseIsIgnoredBeyondAscii)
{
    // Latin-1, Latin Extended-A, Greek and Cyrillic letters.
    EXPECT_TRUE(MatchName("R\xC3\x89SUM\xC3\x89.doc", "r\xC3\xA9sum\xC3\xA9"));   // RÉSUMÉ / résumé
    EXPECT_TRUE(MatchName("\xC5\x81\xC3\x93" "D\xC5\xB9.txt", "\xC5\x82\xC3\xB3" "d\xC5\xBA*"));  // ŁÓDŹ / łódź
    EXPECT_TRUE(MatchName("\xCE\xA3\xCE\x97\xCE\x9C\xCE\x95\xCE\x99\xCE\xA9\xCE\xA3\xCE\x97", "\xCF\x83\xCE\xB7\xCE\xBC"));  // ΣΗΜΕΙΩΣΗ / σημ
    EXPECT_TRUE(MatchName("\xD0\x9E\xD0\xA2\xD0\xA7\xD0\x81\xD0\xA2.txt", "\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82*"));  // ОТЧЁТ / отчёт
    EXPECT_TRUE(MatchName("\xC3\xBF", "\xC5\xB8"));  // ÿ / Ÿ
    // Letters that only look alike stay apart.
    EXPECT_FALSE(MatchName("e", "\xC3\xA9"));
    // Non-letters are compared as they are.
    EXPECT_FALSE(MatchName("\xC3\xB7", "\xC3\x97"));  // ÷ is not ×
}

TEST(MatchName, BrokenUtf8BytesMatchOnlyThemselves)
{
    const std::string bad = std::string("a") + '\xFF' + "b";
    EXPECT_TRUE(MatchName(bad, "a?b"));
    EXPECT_TRUE(MatchName(bad, std::string(1, '\xFF')));
    EXPECT_FALSE(MatchName(bad, "\xC3\xBF"));  // not the letter ÿ
    // A sequence cut short is a run of single bytes.
    EXPECT_TRUE(MatchName("x\xC3", "x?"));
    EXPECT_FALSE(MatchName("x\xE2\x82", "x?"));
    EXPECT_TRUE(MatchName("x\xE2\x82", "x??"));
}

TEST(MatchName, LongNamesWithManyStarsEndQuickly)
{
    // The walk is bounded by name x mask steps, not exponential in the stars.
    const std::string name(255, 'a');
    const std::string mask = "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b";
    EXPECT_FALSE(MatchMask(name, mask));
    EXPECT_TRUE(MatchMask(name + "b", mask));
}
