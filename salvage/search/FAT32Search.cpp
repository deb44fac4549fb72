#include "salvage/search/FAT32Search.h"

#include "salvage/disk/Bytes.h"
#include "salvage/disk/Errors.h"
#include "salvage/fs/FATDeletedFolder.h"
#include "salvage/fs/TextConvert.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <span>

namespace salvage {

using namespace fat;

namespace {

constexpr const char* kRootName = ".";

// Directory entries that could be descended into, "." and ".." included; at
// least 1, so that each level can split its share of the progress.
std::uint32_t CountSubdirectories(ByteSpan data)
{
    std::uint32_t count = 0;
    for (std::size_t off = 0; InBounds(data.size(), off, kDirEntrySize); off += kDirEntrySize)
        if (data[off] != kEntryNeverUsed && (data[off + kEntryAttributes] & kAttrDirectory) != 0)
            ++count;
    return count == 0 ? 1 : count;
}

} // namespace

int RoundHalfEven(double value) noexcept
{
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return static_cast<int>(whole);
}

struct TFAT32Search::Frame {
    TMemoryStream data;
    std::uint32_t key = 0;
    DirToken token = kNoDir;  // kNoDir: the root, whose node is made at its first entry
    bool deleted = false;     // the directory is deleted, or lies in a deleted one
    int lo = 0;
    int hi = 100;
    std::uint32_t subCount = 1;
    std::uint32_t i = 0;      // directories met so far
    std::uint32_t mapIndex = kNoFatEntry;  // a deleted folder's entry in the map
};

TFAT32Search::TFAT32Search(TFAT32& fat, TSearchSink& sink, bool estimateCondition)
    : fat_(fat), sink_(sink), estimateCondition_(estimateCondition)
{
}

TFAT32Search::~TFAT32Search()
{
    Stop();
}

void TFAT32Search::Execute()
{
    VisitedDirs.Clear();
    directoryClusters_.Clear();
    nextToken_ = 1;
    limits_ = EntryLimitsOf(fat_);
    map_ = std::make_shared<TFatDeletedMap>();
    // A range error or a failed allocation ends the scan; what was reported
    // stays, and the search still completes below.
    try {
        Scan();
    } catch (const std::exception& e) {
        sink_.Failed(ScanEndedEarlyMessage(e.what()));
    } catch (...) {
        sink_.Failed(ScanEndedEarlyMessage({}));
    }
    // The owner can finish its trees while the clusters are placed.
    if (!StopRequested())
        sink_.AllFound();
    // Where the deleted files lie is kept with the reader for the recovery,
    // after a stop too (unbuilt then: the consecutive rule is all it knows).
    try {
        if (!StopRequested())
            map_->Build(fat_);
    } catch (const std::bad_alloc&) {
        map_ = std::make_shared<TFatDeletedMap>();
    }
    fat_.SetDeletedMap(map_);
    if (!StopRequested()) {
        VisitedDirs.Clear();
        directoryClusters_.Clear();
        sink_.Done();
    }
}

void TFAT32Search::Scan()
{
    if (!fat_.Usable())
        return;
    std::vector<Frame> stack;
    stack.emplace_back();
    if (!LoadRoot(stack.back()))
        return;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (!InBounds(frame.data.Size(), frame.data.Position(), kDirEntrySize)) {
            stack.pop_back();
            continue;
        }
        Frame child;
        if (ScanEntry(frame, child, stack.size()))
            stack.push_back(std::move(child));
        // Stop between entries; every level ends at once.
        if (Terminated())
            return;
    }
}

bool TFAT32Search::LoadRoot(Frame& frame)
{
    frame.token = kNoDir;
    if (fat_.FATType == kFAT32) {
        frame.key = fat_.RootCluster();
        bool failed = false;
        TMemoryStream first = fat_.ReadCluster(frame.key, failed);
        if (failed)
            return false;
        frame.data = ReadDirectoryChain(frame.key, std::move(first));
        VisitedDirs.Add(static_cast<std::int32_t>(frame.key));
    } else {
        frame.key = fat_.RootKey();
        const std::uint64_t bytes = static_cast<std::uint64_t>(fat_.RootEntries()) * kDirEntrySize;
        TMemoryStream data(static_cast<std::size_t>(bytes));
        const auto sectors = static_cast<std::uint32_t>(bytes / fat_.BytesPerSector());
        if (fat_.ReadSectors(sectors, data.Buffer(), frame.key))
            return false;
        // The key is a sector number here, which can equal the cluster of a
        // subdirectory; the root is kept out of VisitedDirs so that such a
        // subdirectory is still scanned (nothing leads back into this area).
        frame.data = std::move(data);
    }
    frame.subCount = CountSubdirectories(frame.data.Bytes());
    return true;
}

bool TFAT32Search::LoadSubdirectory(Frame& frame, std::uint32_t key, bool deleted, std::uint32_t mapIndex)
{
    if (VisitedDirs.Contains(static_cast<std::int32_t>(key)))
        return false;
    bool failed = false;
    TMemoryStream first = fat_.ReadCluster(key, failed);
    if (failed)
        return false;
    // The cluster still holds this directory only when it starts with the
    // "." entry that names it.
    TDirEntry dot{};
    first.ReadBuffer(dot.data(), dot.size());
    first.Seek(0);
    if (dot[0] != '.' || EntryFirstCluster(dot, fat_.FATType) != key)
        return false;
    // A deleted directory whose first cluster is in use again was overwritten.
    if (deleted && fat_.FirstClusterCondition(dot) == kConditionPoor)
        return false;
    frame.data = ReadDirectoryChain(key, std::move(first));
    if (frame.data.Size() == 0)
        return false;
    if (deleted) {
        map_->AddFolderCluster(mapIndex, key);
        ReadDeletedFolderOn(frame.data, key, mapIndex);
    }
    VisitedDirs.Add(static_cast<std::int32_t>(key));
    frame.key = key;
    frame.deleted = deleted;
    frame.subCount = CountSubdirectories(frame.data.Bytes());
    return true;
}

TMemoryStream TFAT32Search::ReadDirectoryChain(std::uint32_t first, TMemoryStream firstCluster)
{
    // Bounded three ways: the cluster count, the largest directory, and the
    // clusters already read (which ends a loop at its first repeat). The
    // directory's own first cluster is read even when a damaged chain of
    // another directory ran into it before: VisitedDirs already keeps each
    // directory to one scan, and refusing it would lose the whole directory.
    bool own = true;
    const std::vector<std::uint32_t> clusters =
        fat_.ChainClusters(first, fat_.MaxDirectoryClusters(), [this, &own](std::uint32_t c) {
            const bool fresh = directoryClusters_.Insert(c);
            const bool take = fresh || own;
            own = false;
            return take;
        });
    TMemoryStream chain = std::move(firstCluster);
    if (clusters.empty()) {
        chain.Buffer().clear();
    } else {
        // The rest of the chain, a run of consecutive clusters at a read;
        // clusters that could not be read are not counted as read.
        const std::size_t read = 1 + fat_.ReadClusters(std::span(clusters).subspan(1), chain);
        for (std::size_t i = read; i < clusters.size(); ++i)
            directoryClusters_.Erase(clusters[i]);
    }
    chain.Seek(0);
    return chain;
}

void TFAT32Search::ReadDeletedFolderOn(TMemoryStream& data, std::uint32_t first, std::uint32_t mapIndex)
{
    ReadDeletedFolderClusters(
        fat_, limits_, first, data, [this](std::uint32_t c) { return directoryClusters_.Contains(c); },
        [this, mapIndex](std::uint32_t c) {
            directoryClusters_.Insert(c);
            map_->AddFolderCluster(mapIndex, c);
        });
}

bool TFAT32Search::ScanEntry(Frame& frame, Frame& child, std::size_t depth)
{
    TDirEntry entry{};
    frame.data.ReadBuffer(entry.data(), entry.size());

    // The name is made in name_, whose storage every entry reuses: a file's
    // name reaches the sink as a view, not as a string of its own.
    std::string& name = name_;
    bool shortName = true;
    if (entry[kEntryAttributes] == kAttrLongName) {
        try {
            ReadLongName(entry, frame.data, name);
        } catch (const EReadError&) {
            // The run reaches the end of this directory's data (typically a
            // deleted directory of which only the first cluster is left): the
            // run has no entry to name, and the rest of the volume is scanned.
            frame.data.Seek(frame.data.Size());
            return false;
        }
        shortName = false;
    } else {
        name = ShortEntryName(entry);
    }
    // An unused slot does not end the directory: scanning goes on.
    const TFatSlot slot = ClassifyDirEntry(entry, limits_);
    if (slot == TFatSlot::NeverUsed)
        return false;

    if (frame.token == kNoDir) {
        // The root's node is made at its first entry.
        TFileInfo root;
        root.FileRef = root.ParentRef = frame.key;
        root.Name = kRootName;
        frame.token = nextToken_++;
        sink_.FatDirFound(root, kNoDir, frame.token);
    }
    // The label names the volume, not a file; other slots are no entry at all.
    if (slot == TFatSlot::VolumeLabel)
        return false;
    if (slot != TFatSlot::File && slot != TFatSlot::Directory) {
        ++map_->ImplausibleEntries;
        return false;
    }
    // "." and "..", and any name that starts with a dot.
    if (!name.empty() && name[0] == '.')
        return false;

    TFileInfo work;
    work.Created = DateOf(LoadLE16(entry, kEntryCreateDate), LoadLE16(entry, kEntryCreateTime));
    work.Modified = DateOf(LoadLE16(entry, kEntryWriteDate), LoadLE16(entry, kEntryWriteTime));
    work.Accessed = DateOf(LoadLE16(entry, kEntryAccessDate), 0);
    work.ParentRef = frame.key;
    work.FileRef = EntryFirstCluster(entry, fat_.FATType);
    work.Size = LoadLE32(entry, kEntryFileSize);
    const bool directory = slot == TFatSlot::Directory;
    if (entry[0] == kEntryDeleted) {
        // Deleted short names lose their first byte.
        if (shortName)
            ReplaceFirstChar(name, '?');
        work.Deleted = true;
    }
    // Everything in a deleted folder is deleted, whatever its own entry says.
    if (frame.deleted)
        work.Deleted = true;
    if (work.Deleted) {
        work.FatEntry = map_->AddEntry(entry, fat_.FATType, directory);
        // Until the map is built only the first cluster is known: a first
        // cluster in use again is overwritten. The analysis revises the
        // estimate once every entry is known (ReviseFatConditions).
        if (!directory && estimateCondition_)
            work.Condition = fat_.FirstClusterCondition(entry);
    }

    if (!directory) {
        sink_.FatFileNamed(work, name, frame.token);
        return false;
    }

    work.Name = name;
    const DirToken self = nextToken_++;
    sink_.FatDirFound(work, frame.token, self);
    const double share = static_cast<double>(frame.hi - frame.lo) / frame.subCount;
    const int childLo = frame.lo + RoundHalfEven(share * frame.i);
    const int childHi = frame.lo + RoundHalfEven(share * (frame.i + 1));
    sink_.Progress(childLo);
    ++frame.i;
    if (depth >= kMaxDepth || !LoadSubdirectory(child, work.FileRef, work.Deleted, work.FatEntry))
        return false;
    child.token = self;
    child.lo = childLo;
    child.hi = childHi;
    return true;
}

TDateTime TFAT32Search::DateOf(std::uint16_t date, std::uint16_t time) noexcept
{
    const std::uint32_t words = static_cast<std::uint32_t>(date) << 16 | time;
    DateSlot& slot = dates_[(words ^ (words >> 11) ^ (words >> 19)) % dates_.size()];
    if (!slot.used || slot.words != words) {
        slot.used = true;
        slot.words = words;
        slot.value = DosDateTimeToDateTime(date, time);
    }
    return slot.value;
}

void ReviseFatConditions(std::span<TFileInfo* const> files, TFAT32& fat, TFatClusterRule rule)
{
    const TFatDeletedMap* map = fat.DeletedMap();
    if (map == nullptr)
        return;
    // No condition has this value; an entry's answer is kept for its copies.
    constexpr std::uint8_t kNotYet = 0xFF;
    std::vector<std::uint8_t> answers(map->Count(), kNotYet);
    for (TFileInfo* f : files) {
        if (!f->Deleted || f->FatEntry == kNoFatEntry)
            continue;
        if (f->FatEntry >= answers.size()) {
            f->Condition = map->Condition(f->FatEntry, rule, fat);  // no such entry: poor
            continue;
        }
        std::uint8_t& answer = answers[f->FatEntry];
        if (answer == kNotYet)
            answer = map->Condition(f->FatEntry, rule, fat);
        f->Condition = answer;
    }
}

void CollectDeletedFatFiles(TResultsTree& tree, std::vector<TFileInfo*>& files)
{
    for (TTreeNode* n = tree.First(); n; n = tree.NextDepthFirst(*n))
        for (TFileInfo& f : n->Data().Files)
            if (f.FatEntry != kNoFatEntry)
                files.push_back(&f);
}

void ReviseFatConditions(TResultsTree& tree, TFAT32& fat, TFatClusterRule rule)
{
    std::vector<TFileInfo*> files;
    CollectDeletedFatFiles(tree, files);
    ReviseFatConditions(files, fat, rule);
}

} // namespace salvage
