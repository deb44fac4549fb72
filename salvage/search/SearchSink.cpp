#include "salvage/search/SearchSink.h"

namespace salvage {

void TSearchSink::FatFileNamed(const TFileInfo& file, std::string_view name, DirToken folder)
{
    TFileInfo named = file;
    named.Name.assign(name);
    FatFileFound(named, folder);
}

void TSearchSink::NtfsFound(std::span<const TNtfsFound> found)
{
    for (const TNtfsFound& f : found) {
        if (f.Directory)
            NtfsDirFound(f.Info);
        else
            NtfsFileFound(f.Info);
    }
}

std::string ScanEndedEarlyMessage(const std::string& why)
{
    std::string text = "The analysis ended early because part of the volume could not be read; "
                       "everything found up to there is shown.";
    if (!why.empty())
        text += " (" + why + ")";
    return text;
}

} // namespace salvage
