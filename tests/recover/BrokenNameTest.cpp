#include "salvage/recover/BrokenName.h"

#include <gtest/gtest.h>

#include <deque>

using namespace salvage;

namespace {

// Answers from a script and remembers what it was asked.
class ScriptedQuestion final : public TBrokenNameQuestion {
public:
    TBrokenNameAnswer Ask(const std::string& name) override
    {
        asked.push_back(name);
        TBrokenNameAnswer a = script.front();
        script.pop_front();
        a.OldName = name;
        return a;
    }
    std::deque<TBrokenNameAnswer> script;
    std::vector<std::string> asked;
};

TBrokenNameAnswer Answer(TBrokenNameResult result, std::string newName = {}, std::string symbol = {})
{
    TBrokenNameAnswer a;
    a.ModalResult = static_cast<int>(result);
    a.NewName = std::move(newName);
    a.Symbol = std::move(symbol);
    return a;
}

} // namespace

TEST(IsValidFileName, RefusesControlCharactersAndReservedSigns)
{
    EXPECT_TRUE(IsValidFileName("FILE.TXT"));
    EXPECT_TRUE(IsValidFileName("")) << "an empty name counts as valid";
    EXPECT_TRUE(IsValidFileName("a\\b\"c")) << "backslash and double quote pass";
    for (const char* bad : {"?ILE.TXT", "a*b", "c:d", "e<f", "g>h", "i|j", "tab\there"})
        EXPECT_FALSE(IsValidFileName(bad)) << bad;
    EXPECT_FALSE(IsValidFileName(std::string("nul\0", 4)));
}

TEST(AskBrokenName, RenameAllAppliesToEveryLaterNameWithoutAsking)
{
    ScriptedQuestion q;
    q.script.push_back(Answer(TBrokenNameResult::RenameAll, "", "X"));
    TBrokenNameState state;
    std::string first = "?ILE.TXT";
    state.AskBrokenName(first, q);
    EXPECT_EQ(first, "XILE.TXT");
    EXPECT_FALSE(state.SkipCurrent);
    std::string second = "?THER.DAT";
    state.AskBrokenName(second, q);
    EXPECT_EQ(second, "XTHER.DAT");
    EXPECT_EQ(q.asked.size(), 1u) << "asked once";
}

TEST(AskBrokenName, RenameAllWithoutUsableSymbolKeepsTheOldName)
{
    for (const char* symbol : {"", "_"}) {
        ScriptedQuestion q;
        q.script.push_back(Answer(TBrokenNameResult::RenameAll, "", symbol));
        q.script.push_back(Answer(TBrokenNameResult::Rename, "NEXT.TXT"));
        TBrokenNameState state;
        std::string name = "?ILE.TXT";
        state.AskBrokenName(name, q);
        EXPECT_EQ(name, "?ILE.TXT") << "symbol \"" << symbol << "\"";
        std::string next = "?EXT.TXT";
        state.AskBrokenName(next, q);
        EXPECT_EQ(next, "NEXT.TXT") << "no replacement was chosen, so the next name is asked about";
    }
}

TEST(AskBrokenName, SkipAllSkipsEveryLaterBrokenName)
{
    ScriptedQuestion q;
    q.script.push_back(Answer(TBrokenNameResult::Rename, "FIRST.TXT"));
    q.script.push_back(Answer(TBrokenNameResult::SkipAll));
    TBrokenNameState state;
    std::string a = "?IRST.TXT";
    state.AskBrokenName(a, q);
    EXPECT_EQ(a, "FIRST.TXT");
    EXPECT_FALSE(state.SkipCurrent);
    std::string b = "?KIP.TXT";
    state.AskBrokenName(b, q);
    EXPECT_TRUE(state.SkipCurrent);
    std::string c = "?ATER";
    state.AskBrokenName(c, q);
    EXPECT_TRUE(state.SkipCurrent);
    EXPECT_EQ(q.asked.size(), 2u);
}

TEST(AskBrokenName, SkipAndUnknownResultsSkipOnlyThisName)
{
    ScriptedQuestion q;
    q.script.push_back(Answer(TBrokenNameResult::Skip));
    TBrokenNameAnswer closed;
    closed.ModalResult = 2; // the window closed some other way
    q.script.push_back(closed);
    q.script.push_back(Answer(TBrokenNameResult::Rename, "OK.TXT"));
    TBrokenNameState state;
    for (int i = 0; i < 2; ++i) {
        std::string name = "?AME.TXT";
        state.AskBrokenName(name, q);
        EXPECT_TRUE(state.SkipCurrent);
    }
    std::string name = "?K.TXT";
    state.AskBrokenName(name, q);
    EXPECT_FALSE(state.SkipCurrent);
    EXPECT_EQ(name, "OK.TXT");
}

TEST(FixedBrokenNameAnswer, CommandLineAnswers)
{
    TFixedBrokenNameAnswer underscore(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TBrokenNameState state;
    std::string name = "?ING.DAT";
    state.AskBrokenName(name, underscore);
    EXPECT_EQ(name, "_ING.DAT");

    TFixedBrokenNameAnswer renameAll(TFixedBrokenNameAnswer::Mode::RenameAll, 'Z');
    state.Reset();
    name = "?ING.DAT";
    state.AskBrokenName(name, renameAll);
    EXPECT_EQ(name, "ZING.DAT");
    EXPECT_EQ(state.ReplaceChar, 'Z');

    TFixedBrokenNameAnswer skip(TFixedBrokenNameAnswer::Mode::SkipAll);
    state.Reset();
    state.AskBrokenName(name = "?ING.DAT", skip);
    EXPECT_TRUE(state.SkipAll);
}
