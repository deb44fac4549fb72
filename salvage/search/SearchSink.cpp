#include "salvage/search/SearchSink.h"

namespace salvage {

std::string ScanEndedEarlyMessage(const std::string& why)
{
    std::string text = "The analysis ended early because part of the volume could not be read; "
                       "everything found up to there is shown.";
    if (!why.empty())
        text += " (" + why + ")";
    return text;
}

} // namespace salvage
