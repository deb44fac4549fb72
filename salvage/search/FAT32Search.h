#pragma once
// TFAT32Search: the worker that analyses a FAT12/16/32 volume. It walks the
// directory tree from the root and reports every directory and file entry,
// live and deleted, to its sink; it descends into deleted directories as long
// as their first cluster still holds their directory data.
//
// The worker never reads the results tree: it names the folders it reports
// with DirTokens and remembers itself whether the folder it is in is deleted.
//
// Slots that no driver wrote as entries (ClassifyDirEntry) are passed over
// and counted, the volume label is not a file, and a deleted folder is read
// on past its first cluster while the following clusters are free and read
// as its entries. Every deleted entry goes into a deleted-file map; when the
// search ends by itself the map is built and handed to the reader, where
// the recovery finds it (TFAT32::DeletedMap).

#include "salvage/fs/FAT.h"
#include "salvage/search/ClusterSet.h"
#include "salvage/fs/FATEntryCheck.h"
#include "salvage/fs/FATPlacement.h"
#include "salvage/search/ListInteger.h"
#include "salvage/search/ResultsTree.h"
#include "salvage/search/SearchSink.h"
#include "salvage/search/WorkerThread.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace salvage {

class TFAT32Search : public TWorkerThread {
public:
    // Deeper folders are still reported, but not descended into: no real
    // path is this deep, and each level holds its directory's data.
    static constexpr std::size_t kMaxDepth = 2048;

    // `fat` must be usable (TFAT32::Usable) and, like `sink`, outlive the
    // worker; the worker uses the reader alone while it runs. With
    // estimateCondition (the setting "Determinate file's recovery
    // probability") every deleted file gets a Condition.
    TFAT32Search(TFAT32& fat, TSearchSink& sink, bool estimateCondition);
    ~TFAT32Search() override;

    // Keys of the directories scanned so far (cleared when the search ends by itself).
    TListInteger VisitedDirs;

    // Slots passed over as implausible so far.
    [[nodiscard]] std::uint64_t ImplausibleEntries() const noexcept { return map_ ? map_->ImplausibleEntries : 0; }

protected:
    void Execute() override;

private:
    struct Frame;

    void Scan();
    [[nodiscard]] bool LoadRoot(Frame& frame);
    [[nodiscard]] bool LoadSubdirectory(Frame& frame, std::uint32_t key, bool deleted, std::uint32_t mapIndex);
    [[nodiscard]] TMemoryStream ReadDirectoryChain(std::uint32_t first, TMemoryStream firstCluster);
    // Reads on into the clusters that follow a deleted folder's first one.
    void ReadDeletedFolderOn(TMemoryStream& data, std::uint32_t first, std::uint32_t mapIndex);
    // Handles the next entry of `frame`; fills `child` and returns true when
    // the entry is a directory to descend into.
    [[nodiscard]] bool ScanEntry(Frame& frame, Frame& child, std::size_t depth);

    TFAT32& fat_;
    TSearchSink& sink_;
    const bool estimateCondition_;
    DirToken nextToken_ = 1;
    // Every cluster read as directory data: a chain that runs into one of them
    // (a loop, a link back into an ancestor) ends there.
    TClusterSet directoryClusters_;
    TFatEntryLimits limits_;
    // DosDateTimeToDateTime of the date and time words met last (the entries
    // of a folder share a few).
    [[nodiscard]] TDateTime DateOf(std::uint16_t date, std::uint16_t time) noexcept;
    struct DateSlot {
        std::uint32_t words = 0;
        bool used = false;
        TDateTime value = 0;
    };
    std::array<DateSlot, 256> dates_{};
    std::string name_;  // the entry's name, its storage kept from entry to entry
    std::shared_ptr<TFatDeletedMap> map_;
};

// The condition of every deleted file of a FAT analysis by `rule`, once the
// search has built the reader's deleted-file map (the estimate made while
// the walk ran knew only each file's first cluster): of the given records,
// or of every record of the tree. Records of one entry (its copies in both
// trees) cost one answer.
void ReviseFatConditions(std::span<TFileInfo* const> files, TFAT32& fat, TFatClusterRule rule);
void ReviseFatConditions(TResultsTree& tree, TFAT32& fat, TFatClusterRule rule);
// Adds the records of the tree that have an entry in the deleted-file map.
void CollectDeletedFatFiles(TResultsTree& tree, std::vector<TFileInfo*>& files);

// Round to nearest, halves to even (the progress split).
[[nodiscard]] int RoundHalfEven(double value) noexcept;

} // namespace salvage
