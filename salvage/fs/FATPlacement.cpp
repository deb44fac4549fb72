#include "salvage/fs/FATPlacement.h"

#include "salvage/disk/Bytes.h"
#include "salvage/fs/FAT.h"
#include "salvage/fs/FATEntryCheck.h"

#include <algorithm>
#include <limits>

namespace salvage {

using namespace fat;

namespace {

// Write times have a resolution of two seconds.
constexpr double kTimeSlack = 2.0;
constexpr double kSecondsPerDay = 86400.0;

double Seconds(std::uint16_t date, std::uint16_t time, std::uint8_t hundredths)
{
    const TDateTime d = DosDateTimeToDateTime(date, time);
    if (d == 0)
        return 0;
    return d * kSecondsPerDay + (hundredths < 200 ? hundredths / 100.0 : 0.0);
}

std::uint64_t ClustersFor(std::uint64_t size, std::uint64_t clusterBytes)
{
    return clusterBytes == 0 ? 0 : (size + clusterBytes - 1) / clusterBytes;
}

void AppendCluster(std::vector<TFatRun>& runs, std::uint32_t cluster)
{
    if (!runs.empty() && runs.back().First + runs.back().Count == cluster)
        ++runs.back().Count;
    else
        runs.push_back({cluster, 1});
}

} // namespace

const char* FatClusterRuleName(TFatClusterRule rule) noexcept
{
    return rule == TFatClusterRule::Consecutive ? "consecutive" : "gaps";
}

std::optional<TFatClusterRule> ParseFatClusterRule(std::string_view text) noexcept
{
    if (text == "gaps")
        return TFatClusterRule::FreeGaps;
    if (text == "consecutive")
        return TFatClusterRule::Consecutive;
    return std::nullopt;
}

std::uint64_t TFatPlacement::Clusters() const noexcept
{
    std::uint64_t n = 0;
    for (const TFatRun& r : Runs)
        n += r.Count;
    return n;
}

std::uint32_t TFatDeletedMap::AddEntry(const TDirEntry& entry, std::uint8_t fatType, bool directory)
{
    Entry e;
    e.First = EntryFirstCluster(entry, fatType);
    e.Size = LoadLE32(entry, kEntryFileSize);
    e.Modified = Seconds(LoadLE16(entry, kEntryWriteDate), LoadLE16(entry, kEntryWriteTime), 0);
    e.Created = Seconds(LoadLE16(entry, kEntryCreateDate), LoadLE16(entry, kEntryCreateTime),
                        entry[kEntryCreateTenMs]);
    // Drivers that keep no creation time leave it 0, and some write the write
    // time there whenever they rewrite a file (to the hundredth): then the
    // write time is when its clusters were taken.
    const bool sameAsWrite = LoadLE16(entry, kEntryCreateDate) == LoadLE16(entry, kEntryWriteDate) &&
                             LoadLE16(entry, kEntryCreateTime) == LoadLE16(entry, kEntryWriteTime) &&
                             entry[kEntryCreateTenMs] == 0;
    if (e.Created == 0 || sameAsWrite || (e.Modified != 0 && e.Created > e.Modified + kTimeSlack))
        e.Created = e.Modified;
    if (e.Modified == 0)
        e.Modified = e.Created;
    e.Directory = directory;
    entries_.push_back(e);
    built_ = false;
    return static_cast<std::uint32_t>(entries_.size() - 1);
}

void TFatDeletedMap::AddFolderCluster(std::uint32_t index, std::uint32_t cluster)
{
    if (index < entries_.size())
        claims_.push_back({cluster, index, false});
}

// The walk over the clusters of the volume, from the lowest first cluster of
// a deleted file up, handing each free cluster nothing claims to one of the
// files whose span it lies in.
class TFatDeletedMap::Sweep {
public:
    Sweep(TFatDeletedMap& map, TFAT32& fat) : map_(map), fat_(fat), cb_(fat.ClusterBytes()) {}

    void Run()
    {
        auto& claims = map_.claims_;
        placed_.resize(map_.entries_.size());
        need_.resize(map_.entries_.size());
        std::size_t ci = 0;
        std::uint32_t c = 0;
        const std::uint32_t limit = fat_.ClusterLimit();
        while (true) {
            if (open_.empty()) {
                // Nothing to hand out: on to the next file that needs more than its first cluster.
                while (ci < claims.size() && !Opens(claims[ci]))
                    ++ci;
                if (ci == claims.size())
                    break;
                c = claims[ci].Cluster;
            }
            if (c >= limit)
                break;
            if (ci < claims.size() && claims[ci].Cluster == c && !OnlyDisplaced(ci, c)) {
                PassClaims(ci, c);
            } else {
                while (ci < claims.size() && claims[ci].Cluster == c)
                    ++ci;
                if (!fat_.ClusterInUse(c))
                    Hand(c, ci);
            }
            ++c;
        }
        for (const std::uint32_t f : open_) {
            map_.entries_[f].Complete = false;
            map_.entries_[f].Ambiguous = true;
        }
        for (std::uint32_t i = 0; i < map_.entries_.size(); ++i) {
            Entry& e = map_.entries_[i];
            if (!e.Placed)
                continue;
            e.RunStart = static_cast<std::uint32_t>(map_.runs_.size());
            e.RunCount = static_cast<std::uint32_t>(placed_[i].size());
            map_.runs_.insert(map_.runs_.end(), placed_[i].begin(), placed_[i].end());
        }
    }

private:
    [[nodiscard]] std::uint64_t Need(const Entry& e) const { return ClustersFor(e.Size, cb_); }

    // A file's first cluster: the file takes it, and the rest of it is looked for.
    [[nodiscard]] bool Opens(const Claim& claim) const
    {
        const Entry& e = map_.entries_[claim.Owner];
        return claim.Start && !e.Directory && !e.Overwritten && Need(e) > 1;
    }

    // Only overwritten files start here: the cluster is free for others.
    [[nodiscard]] bool OnlyDisplaced(std::size_t ci, std::uint32_t c) const
    {
        const auto& claims = map_.claims_;
        for (; ci < claims.size() && claims[ci].Cluster == c; ++ci)
            if (!map_.entries_[claims[ci].Owner].Displaced)
                return false;
        return true;
    }

    void PassClaims(std::size_t& ci, std::uint32_t c)
    {
        auto& claims = map_.claims_;
        for (; ci < claims.size() && claims[ci].Cluster == c; ++ci) {
            const Claim& claim = claims[ci];
            const Entry& owner = map_.entries_[claim.Owner];
            if (!claim.Start || owner.Overwritten)
                continue;
            // An older entry in the way may have been gone when this file was
            // written, its clusters free for it: skipped, but not for sure.
            for (const std::uint32_t f : open_) {
                const Entry& e = map_.entries_[f];
                if (owner.Modified != 0 && e.Created != 0 && owner.Modified + kTimeSlack < e.Created)
                    map_.entries_[f].Ambiguous = true;
            }
            if (Opens(claim)) {
                open_.push_back(claim.Owner);
                need_[claim.Owner] = Need(owner) - 1;
                starter_ = claim.Owner;
            }
        }
        choice_ = false;
    }

    // Free clusters from c up to the next claim, counted up to `enough`.
    [[nodiscard]] std::uint64_t Capacity(std::uint32_t c, std::size_t ci, std::uint64_t enough)
    {
        const std::uint32_t end = ci < map_.claims_.size() ? map_.claims_[ci].Cluster : fat_.ClusterLimit();
        return fat_.FreeClustersIn(c, end, enough);
    }

    void Hand(std::uint32_t c, std::size_t ci)
    {
        if (open_.empty())
            return;
        if (open_.size() == 1) {
            // One file wants it: no choice to make (the common case).
            Give(open_.front(), c);
            return;
        }
        // The choice holds for every free cluster up to the next claim while
        // the same files are open: the files forced to end before that claim
        // and the earliest are fixed by dates, and each cluster handed out
        // takes one from the free clusters left and one from what the files
        // in question still need, so whether the gap holds them all does not
        // change. It is made again when a file opens or ends, or the next
        // claim is another one.
        if (choice_ && choiceCi_ == ci) {
            Give(choiceTaker_, c);
            return;
        }
        auto after = [](double later, double earlier) {
            return later != 0 && earlier != 0 && later > earlier + kTimeSlack;
        };
        // Files last written before the entry at the next claim was made must
        // end before it: a driver hands clusters out upwards from where it
        // last took one. A file begun after the newest one had ended does
        // not count: its clusters came after all of the newest one's.
        const Claim* next = ci < map_.claims_.size() ? &map_.claims_[ci] : nullptr;
        const double nextCreated = next && next->Start ? map_.entries_[next->Owner].Created : 0;
        const Entry* starter = starter_ != kNoFatEntry ? &map_.entries_[starter_] : nullptr;
        std::vector<std::uint32_t> forced;
        std::uint64_t forcedNeed = 0;
        for (const std::uint32_t f : open_) {
            const Entry& e = map_.entries_[f];
            if (f != starter_ && after(nextCreated, e.Modified) && !(starter && after(e.Created, starter->Modified))) {
                forced.push_back(f);
                forcedNeed += need_[f];
            }
        }
        auto earliest = [&](const std::vector<std::uint32_t>& among) {
            return *std::min_element(among.begin(), among.end(), [&](std::uint32_t a, std::uint32_t b) {
                const Entry& x = map_.entries_[a];
                const Entry& y = map_.entries_[b];
                const double mx = x.Modified == 0 ? std::numeric_limits<double>::max() : x.Modified;
                const double my = y.Modified == 0 ? std::numeric_limits<double>::max() : y.Modified;
                return mx != my ? mx < my : x.First < y.First;
            });
        };
        std::uint32_t taker = 0;
        if (starter && !forced.empty()) {
            // The newest file stays in one piece when the gap holds it and
            // the files that must end in it; otherwise the files were
            // written by turns, and the one that ended first came first.
            const std::uint64_t want = need_[starter_] + forcedNeed;
            taker = Capacity(c, ci, want) >= want ? starter_ : earliest(forced);
        } else if (starter) {
            taker = starter_;
        } else {
            taker = earliest(open_);
        }
        // More than one file could have this cluster: a choice, not a fact.
        for (const std::uint32_t f : open_)
            map_.entries_[f].Ambiguous = true;
        choice_ = true;
        choiceCi_ = ci;
        choiceTaker_ = taker;
        Give(taker, c);
    }

    void Give(std::uint32_t taker, std::uint32_t c)
    {
        AppendCluster(placed_[taker], c);
        if (--need_[taker] == 0) {
            open_.erase(std::find(open_.begin(), open_.end(), taker));
            if (taker == starter_)
                starter_ = kNoFatEntry;
            choice_ = false;
        }
    }

    TFatDeletedMap& map_;
    TFAT32& fat_;
    const std::uint64_t cb_;
    std::vector<std::uint32_t> open_;
    std::vector<std::vector<TFatRun>> placed_;
    std::vector<std::uint64_t> need_;  // clusters each open file still needs
    std::uint32_t starter_ = kNoFatEntry;  // the file whose start was passed last
    // The choice Hand made last, for the files open then and the claim at ci.
    bool choice_ = false;
    std::size_t choiceCi_ = 0;
    std::uint32_t choiceTaker_ = 0;
};

void TFatDeletedMap::Build(TFAT32& fat)
{
    runs_.clear();
    // Folder clusters came first; the entries' own starts join them.
    std::erase_if(claims_, [](const Claim& c) { return c.Start; });
    const std::uint32_t limit = fat.ClusterLimit();
    for (std::uint32_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        Entry fresh;
        fresh.First = e.First;
        fresh.Size = e.Size;
        fresh.Created = e.Created;
        fresh.Modified = e.Modified;
        fresh.Directory = e.Directory;
        e = fresh;
        if (e.First >= 2 && e.First < limit && (e.Directory || e.Size > 0))
            claims_.push_back({e.First, i, true});
    }
    std::sort(claims_.begin(), claims_.end(), [](const Claim& a, const Claim& b) {
        return a.Cluster != b.Cluster ? a.Cluster < b.Cluster : a.Start > b.Start;
    });

    // Entries that start in one cluster: a folder whose data was read there
    // owns it, else the newest entry; the others were overwritten there.
    for (std::size_t i = 0; i < claims_.size();) {
        std::size_t j = i;
        std::uint32_t owner = claims_[i].Owner;
        bool folderData = false;
        bool tie = false;
        for (; j < claims_.size() && claims_[j].Cluster == claims_[i].Cluster; ++j) {
            const Claim& c = claims_[j];
            if (!c.Start) {
                owner = c.Owner;
                folderData = true;
            } else if (!folderData && c.Owner != owner) {
                const Entry& a = entries_[c.Owner];
                const Entry& b = entries_[owner];
                if (a.Modified != b.Modified ? a.Modified > b.Modified : a.Created > b.Created)
                    owner = c.Owner;
                else if (a.Modified == b.Modified && a.Created == b.Created)
                    tie = true;
            }
        }
        for (std::size_t k = i; k < j; ++k) {
            Entry& e = entries_[claims_[k].Owner];
            if (claims_[k].Owner != owner && claims_[k].Start)
                e.Overwritten = true;
            e.Ambiguous = e.Ambiguous || tie;
        }
        i = j;
    }
    MarkDisplaced(fat);
    // A first cluster in use again holds another file's data. (In cluster
    // order: the FAT is read a sector at a time.)
    for (const Claim& c : claims_) {
        Entry& e = entries_[c.Owner];
        if (!c.Start || e.Directory)
            continue;
        if (fat.ClusterInUse(e.First))
            e.Overwritten = true;
        else if (!e.Overwritten)
            e.Placed = true;
    }
    Sweep sweep(*this, fat);
    sweep.Run();
    built_ = true;
}

// An entry made after a file's last write starts inside the run the file
// would have taken in one piece. Either the file lay in pieces around a
// cluster someone held then and gave up later, or the file was gone and its
// clusters were free for others: drivers take the lowest free cluster (from
// where they last took one), so a deleted file's clusters are the first to
// be taken again. The second reading is taken, the more common one: the file
// is overwritten, and its clusters are free for the files placed after it.
void TFatDeletedMap::MarkDisplaced(TFAT32& fat)
{
    const std::uint64_t clusterBytes = fat.ClusterBytes();
    const std::uint32_t limit = fat.ClusterLimit();
    for (std::uint32_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        if (e.Directory || e.Overwritten || e.Modified == 0)
            continue;
        const std::uint64_t need = ClustersFor(e.Size, clusterBytes);
        const std::uint64_t end = std::min<std::uint64_t>(static_cast<std::uint64_t>(e.First) + need, limit);
        auto it = std::upper_bound(claims_.begin(), claims_.end(), e.First,
                                   [](std::uint32_t x, const Claim& c) { return x < c.Cluster; });
        for (; it != claims_.end() && it->Cluster < end && !e.Displaced; ++it) {
            const Entry& other = entries_[it->Owner];
            if (it->Start && other.Created != 0 && other.Created > e.Modified + kTimeSlack)
                e.Displaced = e.Overwritten = e.Ambiguous = true;
        }
    }
}

bool TFatDeletedMap::BlockedIn(std::uint32_t from, std::uint64_t to, std::uint32_t self) const
{
    auto it = std::lower_bound(claims_.begin(), claims_.end(), from,
                               [](const Claim& c, std::uint32_t x) { return c.Cluster < x; });
    for (; it != claims_.end() && it->Cluster < to; ++it)
        if (it->Owner != self)
            return true;
    return false;
}

TFatPlacement TFatDeletedMap::ConsecutivePlacement(std::uint32_t first, std::uint64_t size, TFAT32& fat)
{
    TFatPlacement p;
    p.Rule = TFatClusterRule::Consecutive;
    const std::uint64_t n = ClustersFor(size, fat.ClusterBytes());
    if (n == 0)
        return p;
    const std::uint64_t available = first >= 2 && first < fat.ClusterLimit() ? fat.ClusterLimit() - first : 0;
    const std::uint64_t count = std::min(n, available);
    if (count > 0)
        p.Runs.push_back({first, static_cast<std::uint32_t>(count)});
    p.Complete = count == n;
    p.Overwritten = count == 0 || fat.ClusterInUse(first);
    return p;
}

TFatPlacement TFatDeletedMap::Consecutive(const Entry& e, std::uint32_t self, TFAT32& fat) const
{
    TFatPlacement p = ConsecutivePlacement(e.First, e.Size, fat);
    p.Overwritten = p.Overwritten || e.Overwritten;
    p.Ambiguous = p.Overwritten || !p.Complete;
    // The run crosses what the volume says is not this file's.
    for (const TFatRun& r : p.Runs)
        if (!p.Ambiguous && r.Count > 1)
            p.Ambiguous = fat.AnyClusterInUse(r.First + 1, r.Count - 1) || BlockedIn(r.First + 1, r.First + r.Count, self);
    return p;
}

TFatPlacement TFatDeletedMap::Placement(std::uint32_t index, TFatClusterRule rule, TFAT32& fat) const
{
    if (index >= entries_.size())
        return {};
    const Entry& e = entries_[index];
    if (rule == TFatClusterRule::Consecutive || !built_ || !e.Placed || e.Directory)
        return Consecutive(e, index, fat);
    TFatPlacement p;
    p.Rule = TFatClusterRule::FreeGaps;
    p.Runs.push_back({e.First, 1});
    for (std::uint32_t i = 0; i < e.RunCount; ++i) {
        const TFatRun& r = runs_[e.RunStart + i];
        for (std::uint32_t k = 0; k < r.Count; ++k)
            AppendCluster(p.Runs, r.First + k);
    }
    p.Ambiguous = e.Ambiguous;
    p.Complete = e.Complete;
    return p;
}

std::uint8_t TFatDeletedMap::Condition(std::uint32_t index, TFatClusterRule rule, TFAT32& fat) const
{
    if (index >= entries_.size())
        return kConditionPoor;
    const Entry& e = entries_[index];
    if (e.Size == 0)
        return kConditionGood;
    if (rule == TFatClusterRule::Consecutive || !built_) {
        const TFatPlacement p = ConsecutivePlacement(e.First, e.Size, fat);
        if (!p.Complete)
            return kConditionPoor;
        for (const TFatRun& r : p.Runs)
            if (fat.AnyClusterInUse(r.First, r.Count))
                return kConditionPoor;
        return kConditionGood;
    }
    // Build found the first cluster in use, or taken by a newer entry, and
    // whether enough free clusters were left.
    if (!e.Placed || e.Directory)
        return e.Overwritten || e.First < 2 || e.First >= fat.ClusterLimit() || fat.ClusterInUse(e.First)
                   ? kConditionPoor
                   : kConditionGood;
    return e.Overwritten || !e.Complete ? kConditionPoor : kConditionGood;
}

} // namespace salvage
