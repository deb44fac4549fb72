// Partial results on damaged volumes: copies of generated volumes with a
// directory cluster, the FAT or a run of MFT records overwritten. The scan
// must complete, and everything the damage did not touch must still be
// listed where an undamaged copy lists it.

#include "salvage/disk/Messages.h"
#include "salvage/fs/FAT.h"
#include "salvage/fs/NTFS.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/ModelSink.h"
#include "tests/search/TreeDump.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

using namespace salvage;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Item {
    std::string path;  // "./Docs/report 2024.doc"
    bool directory = false;
    bool deleted = false;
    std::uint64_t size = 0;
    std::uint32_t ref = 0;
};

struct Listing {
    bool completed = false;
    std::vector<Item> items;  // placeholders left out

    [[nodiscard]] const Item* ByPath(const std::string& path, bool directory) const
    {
        for (const Item& i : items)
            if (i.path == path && i.directory == directory)
                return &i;
        return nullptr;
    }
    // The item of a record; a record's named streams are items of their own,
    // told apart by their name when one is given.
    [[nodiscard]] const Item* ByRef(std::uint32_t ref, bool directory, const std::string& name = "") const
    {
        for (const Item& i : items)
            if (i.ref == ref && i.directory == directory &&
                (name.empty() || i.path.substr(i.path.rfind('/') + 1) == name))
                return &i;
        return nullptr;
    }
};

// The whole analysis of an image held in memory.
Listing Analyse(const Bytes& image)
{
    Listing listing;
    TLogicalDisk disk;
    disk.DevicePath = "damaged copy";
    std::string error;
    const auto analysis = TAnalysis::Open(disk, platform::MakeMemoryVolume(image), error);
    EXPECT_TRUE(analysis) << error;
    if (!analysis)
        return listing;
    TFoundFileModel model;
    TModelSink sink(model);
    TAnalysisOptions options;
    auto search = analysis->CreateSearch(sink, options, error);
    search->Start();
    search->Wait();
    search.reset();
    listing.completed = sink.Completed();
    const TResultsTree& tree = model.Tree();
    for (const TTreeNode* n = tree.First(); n; n = tree.NextDepthFirst(*n)) {
        const std::string path = searchtest::NodePath(*n);
        if (n->Text().rfind(kPlaceholderPrefix, 0) != 0)
            listing.items.push_back({path, true, n->Data().Deleted, 0, n->Data().DirRef});
        for (const TFileInfo& f : n->Data().Files)
            listing.items.push_back({path + "/" + f.Name, false, f.Deleted, f.Size, f.FileRef});
    }
    return listing;
}

void Scramble(Bytes& image, std::size_t offset, std::size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t i = 0; i < length; ++i)
        image.at(offset + i) = static_cast<std::uint8_t>(byte(random));
}

std::string LastPart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Below(const std::string& path, const std::string& folder)
{
    return path.rfind(folder + "/", 0) == 0;
}

// Every item of `clean` that is not below one of `lost` is in `damaged`, as it was.
void ExpectKept(const Listing& clean, const Listing& damaged, const std::vector<std::string>& lost)
{
    for (const Item& i : clean.items) {
        bool mayBeLost = false;
        for (const std::string& folder : lost)
            mayBeLost = mayBeLost || Below(i.path, folder);
        if (mayBeLost)
            continue;
        const Item* found = damaged.ByPath(i.path, i.directory);
        if (found == nullptr) {
            ADD_FAILURE() << "lost: " << i.path;
            continue;
        }
        EXPECT_EQ(found->deleted, i.deleted) << i.path;
        EXPECT_EQ(found->size, i.size) << i.path;
    }
}

class MessagesIgnored : public ::testing::Test {
protected:
    void SetUp() override { previous_ = SetMessageHook([](const std::string&, MessageIcon) {}); }
    void TearDown() override { SetMessageHook(previous_); }
    MessageHook previous_;
};

class DamagedFat : public MessagesIgnored {
protected:
    static std::uint64_t ClusterOffset(const TFAT32& fat, std::uint32_t cluster)
    {
        return (std::uint64_t{fat.DataStart} + std::uint64_t{cluster - 2} * fat.SectorsPerCluster()) * fat.BytesPerSector();
    }
};

} // namespace

TEST_F(DamagedFat, AGarbageDirectoryClusterLosesOnlyThatDirectorysContents)
{
    const Bytes image = testdata::ReadFileBytes(testdata::FatVolume("fat32").image);
    const Listing clean = Analyse(image);
    ASSERT_TRUE(clean.completed);
    const Item* docs = clean.ByPath("./Docs", true);
    ASSERT_NE(docs, nullptr);

    const TFAT32 fat(platform::MakeMemoryVolume(image));
    Bytes damaged = image;
    Scramble(damaged, ClusterOffset(fat, docs->ref), fat.ClusterBytes(), 1);
    const Listing after = Analyse(damaged);
    EXPECT_TRUE(after.completed);
    ExpectKept(clean, after, {"./Docs"});
    EXPECT_NE(after.ByPath("./Docs", true), nullptr) << "the folder's own entry is intact";
    for (const Item& i : after.items)
        EXPECT_FALSE(Below(i.path, "./Docs")) << "garbage is not read as the folder's entries: " << i.path;
}

// With the FAT gone, every directory's first cluster is still read (it is
// found through its entry, not the FAT); only deleted folders, whose first
// cluster's FAT entry now looks taken, may be left unread.
TEST_F(DamagedFat, AGarbageFatStillListsEveryDirectoryItCanRead)
{
    const auto volume = testdata::FatVolume("fat16");
    const Bytes image = testdata::ReadFileBytes(volume.image);
    const Listing clean = Analyse(image);
    ASSERT_TRUE(clean.completed);
    std::vector<std::string> deletedFolders;
    for (const Item& i : clean.items)
        if (i.directory && i.deleted)
            deletedFolders.push_back(i.path);
    ASSERT_FALSE(deletedFolders.empty());

    const TFAT32 fat(platform::MakeMemoryVolume(image));
    for (unsigned seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(seed);
        Bytes damaged = image;
        // The reader takes entries from the first FAT only.
        Scramble(damaged, std::uint64_t{fat.FATStart} * fat.BytesPerSector(),
                 std::size_t{fat.SectorsPerFAT()} * fat.BytesPerSector(), seed);
        const Listing after = Analyse(damaged);
        EXPECT_TRUE(after.completed);
        ExpectKept(clean, after, deletedFolders);
    }
}

// A damaged FAT entry makes one directory's chain run on into another
// directory's first cluster. The first reads the other's entries as its own
// (they are garbage there); the other is still read in its own place.
TEST_F(DamagedFat, AChainCrossLinkedIntoAnotherDirectoryLosesNeither)
{
    const Bytes image = testdata::ReadFileBytes(testdata::FatVolume("fat16").image);
    const Listing clean = Analyse(image);
    ASSERT_TRUE(clean.completed);
    const Item* docs = clean.ByPath("./Docs", true);
    const Item* pictures = clean.ByPath("./Pictures", true);
    ASSERT_TRUE(docs && pictures);

    const TFAT32 fat(platform::MakeMemoryVolume(image));
    ASSERT_EQ(fat.FATType, fat::kFAT16);
    Bytes damaged = image;
    const std::size_t entry = std::size_t{fat.FATStart} * fat.BytesPerSector() + 2 * std::size_t{docs->ref};
    damaged.at(entry) = static_cast<std::uint8_t>(pictures->ref);
    damaged.at(entry + 1) = static_cast<std::uint8_t>(pictures->ref >> 8);
    const Listing after = Analyse(damaged);
    EXPECT_TRUE(after.completed);
    ExpectKept(clean, after, {});
}

namespace {

class DamagedNtfs : public MessagesIgnored, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        MessagesIgnored::SetUp();
        volume_ = testdata::NtfsVolume("ntfs4k");
        image_ = testdata::ReadFileBytes(volume_.image);
        for (const auto& m : testdata::ReadNtfsManifest(volume_.manifest))
            records_[m.entry.path] = m.record;
    }

    // Where record n is stored: records of NTFS 3.1 name themselves.
    std::size_t RecordOffset(std::uint32_t n) const
    {
        for (std::size_t at = 0; at + kRecord <= image_.size(); at += kRecord)
            if (image_[at] == 'F' && image_[at + 1] == 'I' && image_[at + 2] == 'L' && image_[at + 3] == 'E' &&
                LoadLE32(image_, at + 44) == n)
                return at;
        ADD_FAILURE() << "record " << n << " not found";
        return 0;
    }

    // Overwrites a record with garbage; with `keepHeader` the header and the
    // update sequence stay valid, so that the garbage is parsed as attributes.
    void Damage(Bytes& image, std::uint32_t n, bool keepHeader, unsigned seed) const
    {
        const std::size_t at = RecordOffset(n);
        if (!keepHeader) {
            Scramble(image, at, kRecord, seed);
            return;
        }
        const std::size_t first = LoadLE16(image, at + 20);
        Scramble(image, at + first, kRecord - first, seed);
        const std::size_t usa = LoadLE16(image, at + 4);
        for (std::size_t block = 1; block <= kRecord / 512; ++block) {
            image[at + block * 512 - 2] = image[at + usa];
            image[at + block * 512 - 1] = image[at + usa + 1];
        }
    }

    static constexpr std::size_t kRecord = 1024;
    testdata::GeneratedVolume volume_;
    Bytes image_;
    std::map<std::string, std::uint32_t> records_;
};

} // namespace

TEST_P(DamagedNtfs, DamagedRecordsAreSkippedAndTheRestIsListed)
{
    const bool keepHeader = GetParam();
    const Listing clean = Analyse(image_);
    ASSERT_TRUE(clean.completed);

    // A folder, its file, and the first folders of a deep chain below it.
    const std::uint32_t first = records_.at("/Docs");
    std::set<std::uint32_t> damagedRecords;
    Bytes damaged = image_;
    for (std::uint32_t n = first; n < first + 4; ++n) {
        Damage(damaged, n, keepHeader, n);
        damagedRecords.insert(n);
    }
    const Listing after = Analyse(damaged);
    EXPECT_TRUE(after.completed);

    int checked = 0;
    for (const Item& i : clean.items) {
        if (damagedRecords.count(i.ref))
            continue;
        SCOPED_TRACE(i.path);
        const Item* found = after.ByRef(i.ref, i.directory, i.path.substr(i.path.rfind('/') + 1));
        ASSERT_NE(found, nullptr) << "an undamaged record is lost";
        EXPECT_EQ(LastPart(found->path), LastPart(i.path));
        EXPECT_EQ(found->deleted, i.deleted);
        EXPECT_EQ(found->size, i.size);
        // Below a damaged folder an item waits under a placeholder instead.
        bool damagedAbove = false;
        for (const Item& folder : clean.items)
            if (folder.directory && damagedRecords.count(folder.ref) && Below(i.path, folder.path))
                damagedAbove = true;
        if (!damagedAbove) {
            EXPECT_EQ(found->path, i.path);
        }
        ++checked;
    }
    EXPECT_GT(checked, 20);
    // Without a signature a record is not read as anything.
    if (!keepHeader) {
        for (const std::uint32_t n : damagedRecords)
            EXPECT_TRUE(!after.ByRef(n, false) && !after.ByRef(n, true)) << "record " << n;
    }
}

namespace {

std::string DamageName(const ::testing::TestParamInfo<bool>& param)
{
    return param.param ? "GarbageAttributes" : "Garbage";
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Damage, DamagedNtfs, ::testing::Bool(), DamageName);
