#pragma once
// How a search worker reports what it finds. The worker never reads the
// results tree; whoever owns the tree applies the reports in arrival order
// (directly, or in batches handed to the main thread).

#include "salvage/search/FileInfo.h"

#include <cstdint>

namespace salvage {

// Names a directory the FAT search reported, so that later reports can give
// it as their parent. Tokens are handed out by the worker, starting at 1.
using DirToken = std::uint32_t;
inline constexpr DirToken kNoDir = 0;  // the top level

class TSearchSink {
public:
    virtual ~TSearchSink() = default;

    // FAT search: a directory found in `parent` (kNoDir for the root, which is
    // reported first); `self` names it in later reports.
    virtual void FatDirFound(const TFileInfo& dir, DirToken parent, DirToken self) = 0;
    // FAT search: a file found in `folder`.
    virtual void FatFileFound(const TFileInfo& file, DirToken folder) = 0;

    // NTFS search: records in MFT order; the tree finds parents by reference
    // and parks children under placeholders until their parent arrives.
    virtual void NtfsDirFound(const TFileInfo& dir) = 0;
    virtual void NtfsFileFound(const TFileInfo& file) = 0;

    // Percentage 0 to 100. Called directly from the worker: cheap, only the
    // latest value matters.
    virtual void Progress(int percent) = 0;

    // The search ended by itself. Not called when it was stopped.
    virtual void Done() = 0;
};

} // namespace salvage
