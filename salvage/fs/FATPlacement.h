#pragma once
// Where a deleted FAT file's clusters are. Deleting a file zeroes its chain,
// so only its first cluster and its size are left. Two rules place the rest:
//
//  - Consecutive: the clusters that follow the first one, as many as the
//    size needs. Right for a file that was never fragmented.
//  - FreeGaps: the free clusters after the first one that nothing else on
//    the volume claims: clusters in use by live files are skipped, so are
//    clusters where another entry (live or deleted) starts, the clusters of
//    deleted folders, and clusters that other deleted files take. Where the
//    spans of deleted files cross, each free cluster goes to one of them by
//    what their dates allow (a file last written before another was created
//    cannot own clusters past that one's start), keeping a file that could be
//    written in one piece in one piece. Such a choice is reported as
//    ambiguous: another reading of the volume was possible.
//
// The map is filled by a directory walk (every deleted entry and the
// clusters of deleted folders it read), then built once; recovery, the
// condition estimate and the wizard all ask it, so they agree.

#include "salvage/fs/FATLayout.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace salvage {

class TFAT32;

enum class TFatClusterRule : std::uint8_t {
    FreeGaps = 0,     // the default
    Consecutive = 1,
};

// "gaps" and "consecutive", and back; nullopt for another text.
[[nodiscard]] const char* FatClusterRuleName(TFatClusterRule rule) noexcept;
[[nodiscard]] std::optional<TFatClusterRule> ParseFatClusterRule(std::string_view text) noexcept;

inline constexpr std::uint32_t kNoFatEntry = 0xFFFFFFFF;

struct TFatRun {
    std::uint32_t First = 0;
    std::uint32_t Count = 0;
};

struct TFatPlacement {
    std::vector<TFatRun> Runs;  // in file order
    TFatClusterRule Rule = TFatClusterRule::Consecutive;
    bool Ambiguous = false;     // the volume allows another placement
    bool Overwritten = false;   // its first cluster now holds another file's data
    bool Complete = true;       // as many clusters as the size needs were found

    [[nodiscard]] std::uint64_t Clusters() const noexcept;
};

class TFatDeletedMap {
public:
    // A deleted file or folder entry (or one in a deleted folder); returns
    // its index, which the found record keeps (TFileInfo::FatEntry).
    std::uint32_t AddEntry(const fat::TDirEntry& entry, std::uint8_t fatType, bool directory);
    // A cluster read as the data of the deleted folder `index`.
    void AddFolderCluster(std::uint32_t index, std::uint32_t cluster);

    // Places every deleted file by the FreeGaps rule. Reads FAT entries
    // (near the deleted files only); bounded by the volume's cluster count.
    void Build(TFAT32& fat);

    [[nodiscard]] std::size_t Count() const noexcept { return entries_.size(); }
    // The placement of entry `index` by `rule`. Before Build, and for
    // kNoFatEntry, the consecutive rule from `first` is all there is.
    [[nodiscard]] TFatPlacement Placement(std::uint32_t index, TFatClusterRule rule, TFAT32& fat) const;
    // The same for a record that is not in the map.
    [[nodiscard]] static TFatPlacement ConsecutivePlacement(std::uint32_t first, std::uint64_t size, TFAT32& fat);
    // 1 (good) or 2 (poor): the first cluster is free and was not taken by
    // a newer file, and as many clusters as needed were found free.
    [[nodiscard]] std::uint8_t Condition(std::uint32_t index, TFatClusterRule rule, TFAT32& fat) const;

    // Slots of the walk that no driver wrote as entries (passed over).
    std::uint64_t ImplausibleEntries = 0;

private:
    struct Entry {
        std::uint32_t First = 0;
        std::uint32_t Size = 0;
        double Created = 0;   // seconds; 0 when unknown
        double Modified = 0;
        bool Directory = false;
        // Build's result (FreeGaps)
        bool Overwritten = false;
        bool Displaced = false;  // newer entries start where its run would lie
        bool Ambiguous = false;
        bool Complete = true;
        bool Placed = false;
        std::uint32_t RunStart = 0;  // into runs_
        std::uint32_t RunCount = 0;
    };
    struct Claim {
        std::uint32_t Cluster;
        std::uint32_t Owner;
        bool Start;  // where the entry starts (not a later folder cluster)
    };
    class Sweep;

    void MarkDisplaced(TFAT32& fat);
    // Another entry than `self` claims a cluster of [from, to).
    [[nodiscard]] bool BlockedIn(std::uint32_t from, std::uint64_t to, std::uint32_t self) const;
    [[nodiscard]] TFatPlacement Consecutive(const Entry& e, std::uint32_t self, TFAT32& fat) const;

    std::vector<Entry> entries_;
    std::vector<Claim> claims_;  // sorted by cluster after Build
    std::vector<TFatRun> runs_;
    bool built_ = false;
};

} // namespace salvage
