#pragma once
// How a search worker reports what it finds. The worker never reads the
// results tree; whoever owns the tree applies the reports in arrival order
// (directly, or in batches handed to the main thread).

#include "salvage/search/FileInfo.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace salvage {

// Names a directory the FAT search reported, so that later reports can give
// it as their parent. Tokens are handed out by the worker, starting at 1 and
// counting up (small and dense); a directory is reported before anything in it.
using DirToken = std::uint32_t;
inline constexpr DirToken kNoDir = 0;  // the top level

// A record an NTFS search found: a folder, or a file (a named stream is one).
struct TNtfsFound {
    bool Directory = false;
    TFileInfo Info;
};

// The worker calls these on its own thread, one at a time and in order;
// TModelSink applies them to a found-file model, TBatchingSink hands them on
// in batches.
class TSearchSink {
public:
    virtual ~TSearchSink() = default;

    // FAT search: a directory found in `parent` (kNoDir for the root, which is
    // reported first); `self` names it in later reports.
    virtual void FatDirFound(const TFileInfo& dir, DirToken parent, DirToken self) = 0;
    // FAT search: a file found in `folder`.
    virtual void FatFileFound(const TFileInfo& file, DirToken folder) = 0;
    // The same with the name apart (file.Name is not read): the worker keeps
    // one name buffer rather than making a string per file. By default, a
    // copy of the record with its name goes to FatFileFound.
    virtual void FatFileNamed(const TFileInfo& file, std::string_view name, DirToken folder);

    // NTFS search: records in MFT order; the tree finds parents by reference
    // and parks children under placeholders until their parent arrives.
    virtual void NtfsDirFound(const TFileInfo& dir) = 0;
    virtual void NtfsFileFound(const TFileInfo& file) = 0;
    // Several of them at once, in order (what a chunk of the MFT holds): by
    // default NtfsDirFound or NtfsFileFound of each.
    virtual void NtfsFound(std::span<const TNtfsFound> found);

    // Percentage 0 to 100. Called directly from the worker: cheap, only the
    // latest value matters.
    virtual void Progress(int percent) = 0;

    // The scan could not go on (a range or read error in the volume's data):
    // it ends, what was reported stays, and Done() still follows. The
    // message says so in a sentence for the user.
    virtual void Failed(const std::string& message) = 0;

    // Every folder and file has been reported: what the search does before
    // Done() (FAT: placing the deleted files' clusters) changes no more than
    // the conditions of the deleted files. Not called when it was stopped.
    virtual void AllFound() {}

    // The search ended by itself. Not called when it was stopped.
    virtual void Done() = 0;
};

// The sentence a search reports through Failed(), with the error's own text.
[[nodiscard]] std::string ScanEndedEarlyMessage(const std::string& why);

} // namespace salvage
