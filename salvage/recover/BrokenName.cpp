#include "salvage/recover/BrokenName.h"

#include "salvage/fs/TextConvert.h"

namespace salvage {

bool IsValidFileName(std::string_view name)
{
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == '*' || c == ':' || c == '<' || c == '>' || c == '?' || c == '|')
            return false;
    }
    return true;
}

void TBrokenNameState::AskBrokenName(std::string& currentName, TBrokenNameQuestion& question)
{
    SkipCurrent = false;
    if (SkipAll) {
        SkipCurrent = true;
        return;
    }
    if (ReplaceChar != '?') {
        ReplaceFirstChar(currentName, ReplaceChar);
        return;
    }
    const TBrokenNameAnswer answer = question.Ask(currentName);
    switch (static_cast<TBrokenNameResult>(answer.ModalResult)) {
    case TBrokenNameResult::Rename:
        currentName = answer.NewName;
        break;
    case TBrokenNameResult::Skip:
        SkipCurrent = true;
        break;
    case TBrokenNameResult::SkipAll:
        SkipAll = true;
        SkipCurrent = true;
        break;
    case TBrokenNameResult::RenameAll:
        if (!answer.Symbol.empty() && answer.Symbol != "_") {
            ReplaceChar = answer.Symbol.front();
            ReplaceFirstChar(currentName, ReplaceChar);
        } else {
            currentName = answer.OldName;
        }
        break;
    default:
        SkipCurrent = true;
        break;
    }
}

TBrokenNameAnswer TFixedBrokenNameAnswer::Ask(const std::string& brokenName)
{
    TBrokenNameAnswer answer;
    answer.OldName = brokenName;
    switch (mode_) {
    case Mode::RenameAll:
        answer.ModalResult = static_cast<int>(TBrokenNameResult::RenameAll);
        answer.Symbol = std::string(1, symbol_);
        break;
    case Mode::SkipAll:
        answer.ModalResult = static_cast<int>(TBrokenNameResult::SkipAll);
        break;
    case Mode::ReplaceWithUnderscore:
        answer.ModalResult = static_cast<int>(TBrokenNameResult::Rename);
        answer.NewName = brokenName;
        ReplaceFirstChar(answer.NewName, '_');
        break;
    }
    return answer;
}

} // namespace salvage
