#pragma once
// Names whose first character is the "?" that stands for the lost first byte
// of a deleted FAT short name. Before such an item is written the user is
// asked (the desktop shows the broken-name dialog; the command-line tool
// answers from its options) and the answer holds for the rest of the job.

#include <string>
#include <string_view>

namespace salvage {

// The dialog's modal results.
enum class TBrokenNameResult : int {
    Rename = 6,     // write the item under the new name
    Skip = 7,       // skip this item
    SkipAll = 9,    // skip this and every later broken name of the job
    RenameAll = 10, // replace the leading character of this and every later broken name
};

struct TBrokenNameAnswer {
    int ModalResult = static_cast<int>(TBrokenNameResult::Skip);
    std::string NewName;  // the new-name field, read after Rename
    std::string OldName;  // the old-name field (the broken name as shown)
    std::string Symbol;   // the replacement symbol, read after Rename All
};

// Asks about one broken name and waits for the answer. Called on the
// recovery's thread; the desktop hands the question to its main thread.
class TBrokenNameQuestion {
public:
    virtual ~TBrokenNameQuestion() = default;
    [[nodiscard]] virtual TBrokenNameAnswer Ask(const std::string& brokenName) = 0;
};

// True when no character is below 0x20 and none is * : < > ? |. An empty
// name counts as valid.
[[nodiscard]] bool IsValidFileName(std::string_view name);

// A broken name: one whose first character is "?".
[[nodiscard]] inline bool IsBrokenName(std::string_view name)
{
    return !name.empty() && name.front() == '?';
}

// The job's answers so far, and the decision for the current item.
struct TBrokenNameState {
    char ReplaceChar = '?';  // "?": no replacement chosen yet
    bool SkipAll = false;
    bool SkipCurrent = false;

    void Reset() { *this = TBrokenNameState{}; }

    // Decides about CurrentName (a broken name): skips it, renames it with the
    // chosen character, or asks `question` and acts on the answer.
    void AskBrokenName(std::string& currentName, TBrokenNameQuestion& question);
};

// Answers without asking, for the command-line tool: "Rename All" with a
// character, "Skip All", or (by default) a leading "_" for each name.
class TFixedBrokenNameAnswer final : public TBrokenNameQuestion {
public:
    enum class Mode { ReplaceWithUnderscore, RenameAll, SkipAll };
    explicit TFixedBrokenNameAnswer(Mode mode, char symbol = '_') : mode_(mode), symbol_(symbol) {}
    [[nodiscard]] TBrokenNameAnswer Ask(const std::string& brokenName) override;

private:
    Mode mode_;
    char symbol_;
};

} // namespace salvage
