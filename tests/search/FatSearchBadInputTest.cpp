// The FAT search on hand-built directories: exact corner cases of the walk
// and damaged or random directory data. Every run must end, complete and
// leave a tree whose every node is reachable.

#include "salvage/search/FAT32Search.h"
#include "salvage/search/ModelSink.h"
#include "tests/search/TreeDump.h"
#include "tests/support/FatImage.h"

#include <gtest/gtest.h>

#include <random>

using namespace salvage;
using namespace salvage::fat;
using searchtest::DumpTree;
using testdata::FatGeometry;
using testdata::FatImageBuilder;
using testdata::LongEntry;
using testdata::ShortEntry;

namespace {

FatGeometry Fat16()
{
    FatGeometry g;
    g.typeText = "FAT16";
    g.sectorsPerFat = 9;  // 2304 entries
    g.totalSectors = 2880;
    return g;
}

FatGeometry Fat32()
{
    FatGeometry g;
    g.typeText = "FAT32";
    g.reservedSectors = 32;
    g.rootEntries = 0;
    g.sectorsPerFat = 32;
    g.totalSectors = 4096;
    g.rootCluster = 2;
    return g;
}

constexpr std::uint32_t kEnd16 = 0xFFFF;

std::string ShortEntryName11(std::size_t i)
{
    char name[12];
    std::snprintf(name, sizeof name, "F%02zu     TXT", i);
    return name;
}

TDirEntry Deleted(TDirEntry e)
{
    e[0] = kEntryDeleted;
    return e;
}

TDirEntry Dir(const std::string& name11, std::uint32_t cluster)
{
    return ShortEntry(name11, kAttrDirectory, cluster, 0);
}

TDirEntry File(const std::string& name11, std::uint32_t cluster = 0, std::uint32_t size = 0)
{
    return ShortEntry(name11, 0x20, cluster, size);
}

// Writes entries one after another from `offset`.
void PutEntries(FatImageBuilder& b, std::uint64_t offset, const std::vector<TDirEntry>& entries)
{
    for (const TDirEntry& e : entries) {
        b.Put(offset, e);
        offset += kDirEntrySize;
    }
}

// A subdirectory's first cluster: "." naming itself, ".." and the entries.
void PutDirectory(FatImageBuilder& b, std::uint32_t cluster, std::uint32_t parent, std::vector<TDirEntry> entries)
{
    entries.insert(entries.begin(), {Dir(".", cluster), Dir("..", parent)});
    PutEntries(b, b.ClusterOffset(cluster), entries);
}

struct Result {
    TFoundFileModel model;
    bool done = false;
};

void Search(const FatImageBuilder& b, Result& r)
{
    TFAT32 fat(b.Volume());
    ASSERT_TRUE(fat.Usable()) << fat.Problem();
    TModelSink sink(r.model, {}, [&] { r.done = true; });
    TFAT32Search search(fat, sink, true);
    search.Start();
    search.Wait();
    std::size_t reachable = 0;
    for (const TTreeNode* n = r.model.Tree().First(); n; n = r.model.Tree().NextDepthFirst(*n))
        ++reachable;
    EXPECT_EQ(reachable, r.model.Tree().Count());
}

} // namespace

TEST(FatSearchCorners, UnusedSlotsDotNamesAndTheLabel)
{
    FatImageBuilder b(Fat16());
    PutEntries(b, b.RootOffset(),
               {ShortEntry("TESTVOL", kAttrVolumeLabel, 0, 0), File("A       TXT"), TDirEntry{},  // unused slot
                LongEntry(0x41, ".hidden"), File("HIDDEN~1   "), File(".PROFILE   "), File("B       TXT")});
    Result r;
    Search(b, r);
    EXPECT_TRUE(r.done);
    EXPECT_EQ(DumpTree(r.model.Tree()), ". [0]\n./A.TXT\n./B.TXT\n") << "the label is no file";
}

TEST(FatSearchCorners, EmptyRootMakesNoTree)
{
    FatImageBuilder b(Fat16());
    Result r;
    Search(b, r);
    EXPECT_TRUE(r.done);
    EXPECT_TRUE(r.model.Tree().Empty());
}

// A deleted directory keeps only its first cluster; a long-name run that
// went on into the next one runs off the end of the data. That loses the run,
// not the rest of the volume.
TEST(FatSearchCorners, LongNameRunAtTheEndOfADirectory)
{
    for (const bool fat32 : {false, true}) {
        SCOPED_TRACE(fat32 ? "FAT32" : "FAT16");
        FatImageBuilder b(fat32 ? Fat32() : Fat16());
        const std::uint32_t end = fat32 ? 0x0FFFFFFF : kEnd16;
        std::vector<TDirEntry> root = {Deleted(Dir("OLD", 3)), File("Z       TXT", 20, 5), Dir("LIVE", 4)};
        if (fat32) {
            PutEntries(b, b.ClusterOffset(2), root);
            b.SetFatEntry(2, end);
        } else {
            PutEntries(b, b.RootOffset(), root);
        }
        std::vector<TDirEntry> old = {File("A       TXT", 21, 7)};
        for (int i = 0; i < 13; ++i)  // to the last slot of the 512-byte cluster
            old.push_back(Deleted(LongEntry(static_cast<std::uint8_t>(13 - i), "lost name")));
        PutDirectory(b, 3, 0, old);
        PutDirectory(b, 4, 0, {File("INSIDE  TXT", 22, 9)});
        b.SetFatEntry(4, end);
        Result r;
        Search(b, r);
        EXPECT_TRUE(r.done);
        EXPECT_EQ(DumpTree(r.model.Tree()),
                  ". [4]\n./Z.TXT\n./?LD [2]\n./?LD/A.TXT (deleted)\n./LIVE [0]\n./LIVE/INSIDE.TXT\n");
    }
}

TEST(FatSearchCorners, DeletedDirectoriesAndTheirContents)
{
    FatImageBuilder b(Fat16());
    PutEntries(b, b.RootOffset(),
               {Deleted(Dir("INUSE", 5)), Deleted(Dir("FREE", 6)), Dir("MOVED", 8), Dir("EMPTY", 0)});
    b.SetFatEntry(5, kEnd16);  // taken again: its "." still names it, but it was overwritten
    PutDirectory(b, 5, 0, {File("GHOST   TXT")});
    PutDirectory(b, 6, 0, {File("KEEP    TXT", 20, 100), Dir("SUB", 7), Deleted(File("GONE    TXT", 21, 100))});
    PutDirectory(b, 7, 6, {File("X       TXT", 22, 100), Dir("SUBSUB", 9)});
    PutDirectory(b, 9, 7, {});
    b.SetFatEntry(8, kEnd16);
    PutDirectory(b, 8, 0, {File("OTHER   TXT")});
    b.Put(b.ClusterOffset(8), Dir(".", 10));  // the cluster now belongs to another directory
    b.SetFatEntry(21, kEnd16);                // GONE.TXT's cluster is in use: poor condition
    Result r;
    Search(b, r);
    EXPECT_TRUE(r.done);
    EXPECT_EQ(DumpTree(r.model.Tree()),
              ". [4]\n"
              "./?NUSE [2]\n"                                          // not opened: in use again
              "./?REE [2]\n"
              "./?REE/KEEP.TXT (deleted)\n./?REE/?ONE.TXT (deleted)\n"  // everything in it is deleted,
              "./?REE/SUB [2]\n./?REE/SUB/X.TXT (deleted)\n"            // subfolders too
              "./?REE/SUB/SUBSUB [2]\n"
              "./MOVED [0]\n");  // not opened: "." names another; EMPTY names no cluster: no folder at all
    const TTreeNode* free = r.model.Tree().NodeAt(2);
    ASSERT_EQ(free->Data().Files.size(), 2u);
    EXPECT_EQ(free->Data().Files[0].Condition, kGood);
    EXPECT_EQ(free->Data().Files[1].Condition, kPoor);
    EXPECT_EQ(free->Data().DirRef, 6u);
    EXPECT_EQ(free->Data().ParentRef, Fat16().reservedSectors + 2 * Fat16().sectorsPerFat);
}

// FAT12/16 name the root by its first sector, which may equal the first
// cluster of a subdirectory: that subdirectory is still scanned.
TEST(FatSearchCorners, RootKeyEqualToASubdirectoryCluster)
{
    FatImageBuilder b(Fat16());
    const std::uint32_t rootKey = 1 + 2 * 9;
    PutEntries(b, b.RootOffset(), {Dir("SAMEKEY", rootKey)});
    PutDirectory(b, rootKey, 0, {File("F       TXT")});
    b.SetFatEntry(rootKey, kEnd16);
    Result r;
    Search(b, r);
    EXPECT_EQ(DumpTree(r.model.Tree()), ". [0]\n./SAMEKEY [0]\n./SAMEKEY/F.TXT\n");
    EXPECT_EQ(r.model.Tree().First()->Data().DirRef, rootKey);
}

TEST(FatSearchCorners, ChainsThatLoopOrRunIntoAnAncestor)
{
    FatImageBuilder b(Fat32());
    PutEntries(b, b.ClusterOffset(2), {Dir("A", 3), File("ROOT    TXT")});
    b.SetFatEntry(2, 2);  // the root's chain loops onto itself
    PutDirectory(b, 3, 0, {File("ONE     TXT")});
    b.SetFatEntry(3, 4);
    PutEntries(b, b.ClusterOffset(4), {File("TWO     TXT"), Dir("B", 5)});
    b.SetFatEntry(4, 2);  // ... and A's runs on into the root's
    PutDirectory(b, 5, 3, {File("THREE   TXT")});
    b.SetFatEntry(5, 3);  // B's runs back into its parent
    Result r;
    Search(b, r);
    EXPECT_TRUE(r.done);
    EXPECT_EQ(DumpTree(r.model.Tree()),
              ". [0]\n./ROOT.TXT\n./A [0]\n./A/ONE.TXT\n./A/TWO.TXT\n./A/B [0]\n./A/B/THREE.TXT\n");
}

TEST(FatSearchCorners, VeryDeepNestingIsBounded)
{
    FatImageBuilder b(Fat16());
    const std::uint32_t levels = 2100;
    PutEntries(b, b.RootOffset(), {Dir("D", 3)});
    for (std::uint32_t c = 3; c < 3 + levels; ++c) {
        PutDirectory(b, c, c - 1, {Dir("D", c + 1)});
        b.SetFatEntry(c, kEnd16);
    }
    Result r;
    Search(b, r);
    EXPECT_TRUE(r.done);
    // Folders below the depth limit are reported but not opened.
    EXPECT_EQ(r.model.Tree().Count(), 1 + TFAT32Search::kMaxDepth);
}

TEST(FatSearchCorners, RandomDirectoryDataEndsCleanly)
{
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        FatImageBuilder b(seed % 2 ? Fat16() : Fat32());
        const bool fat32 = seed % 2 == 0;
        auto& bytes = b.Bytes();
        // Plausible directories pointing at each other, then noise.
        std::vector<TDirEntry> root;
        for (std::uint32_t c = 3; c < 12; ++c)
            root.push_back(rng() % 3 ? Dir("D" + std::to_string(c), c) : Deleted(Dir("X" + std::to_string(c), c)));
        PutEntries(b, fat32 ? b.ClusterOffset(2) : b.RootOffset(), root);
        for (std::uint32_t c = 3; c < 12; ++c) {
            PutDirectory(b, c, 0, {});
            const std::uint64_t from = b.ClusterOffset(c) + (seed % 4) * kDirEntrySize;
            for (std::uint64_t i = from; i < b.ClusterOffset(c) + 512; ++i)
                bytes[i] = static_cast<std::uint8_t>(rng());
        }
        for (std::uint32_t c = 2; c < 300; ++c)
            b.SetFatEntry(c, rng() % 4 ? rng() % 40 : 0xFFFFFFFF);
        const std::uint64_t rootData = fat32 ? b.ClusterOffset(2) : b.RootOffset();
        for (std::uint64_t i = rootData + root.size() * kDirEntrySize; i < rootData + 1024; ++i)
            if (rng() % 2)
                bytes[i] = static_cast<std::uint8_t>(rng());
        Result r;
        Search(b, r);
        EXPECT_TRUE(r.done);
    }
}

// A deleted folder of three clusters: its chain is gone, but the clusters
// that follow its first one (past the data of its own files) are free and
// read whole as its entries, so all of them are listed. The cluster after
// them holds file data and is not read.
TEST(FatSearchCorners, DeletedFolderOfThreeClustersIsListedWhole)
{
    FatImageBuilder b(Fat16());
    PutEntries(b, b.RootOffset(), {Deleted(Dir("BIG", 3))});
    std::vector<TDirEntry> entries(40);  // 2 + 40 slots: into a third 512-byte cluster
    // As a copy writes them: the folder's first cluster, the data of the
    // files whose entries fill it, the folder's next cluster, and so on.
    std::vector<std::uint8_t>& bytes = b.Bytes();
    auto entriesFrom = [&](std::size_t from, std::size_t count) {
        return std::vector<TDirEntry>(entries.begin() + static_cast<std::ptrdiff_t>(from),
                                      entries.begin() + static_cast<std::ptrdiff_t>(from + count));
    };
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i] = File(ShortEntryName11(i), i < 14 ? 4 + static_cast<std::uint32_t>(i)
                                           : i < 30 ? 19 + static_cast<std::uint32_t>(i - 14)
                                                    : 36 + static_cast<std::uint32_t>(i - 30),
                          100);
    PutDirectory(b, 3, 0, entriesFrom(0, 14));      // "." and ".." and 14 files: full
    PutEntries(b, b.ClusterOffset(18), entriesFrom(14, 16));  // after their 14 clusters
    PutEntries(b, b.ClusterOffset(35), entriesFrom(30, 10));  // after the next 16
    for (const std::uint32_t data : {4u, 19u, 46u})
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(b.ClusterOffset(data)), 512, 'z');
    Result r;
    Search(b, r);
    EXPECT_TRUE(r.done);
    ASSERT_EQ(r.model.Tree().Count(), 2u);
    const auto& files = r.model.Tree().NodeAt(1)->Data().Files;
    ASSERT_EQ(files.size(), 40u);
    EXPECT_EQ(files.back().Name, "F39.TXT");
    EXPECT_TRUE(files.back().Deleted);
}

// A deleted folder whose first cluster has room left for any entry ends
// there: the next cluster is not read, even when it looks like entries.
TEST(FatSearchCorners, DeletedFolderWithRoomLeftEndsInItsFirstCluster)
{
    FatGeometry g = Fat16();
    g.sectorsPerCluster = 4;  // 64 slots
    FatImageBuilder b(g);
    PutEntries(b, b.RootOffset(), {Deleted(Dir("SMALL", 3))});
    PutDirectory(b, 3, 0, {File("OWN     TXT", 10, 5)});
    PutEntries(b, b.ClusterOffset(4), {File("STRANGER TXT", 11, 5)});
    Result r;
    Search(b, r);
    EXPECT_EQ(DumpTree(r.model.Tree()), ". [4]\n./?MALL [2]\n./?MALL/OWN.TXT (deleted)\n");
}

// Slots no driver writes are passed over and counted, not listed.
TEST(FatSearchCorners, ImplausibleSlotsAreCountedNotListed)
{
    FatImageBuilder b(Fat16());
    TDirEntry ghost = LongEntry(0x01, "f");
    ghost[0] = kEntryDeleted;
    ghost[kEntryAttributes] = 0;
    PutEntries(b, b.RootOffset(),
               {File("GOOD    TXT", 5, 10), ghost, File("A/B     TXT", 6, 10), File("BIG     TXT", 7, 0xFFFFFFFF),
                ShortEntry("ODD     TXT", 0x60, 8, 10)});
    TFAT32 fat(b.Volume());
    TFoundFileModel model;
    TModelSink sink(model);
    TFAT32Search search(fat, sink, true);
    search.Start();
    search.Wait();
    EXPECT_EQ(DumpTree(model.Tree()), ". [0]\n./GOOD.TXT\n");
    EXPECT_EQ(search.ImplausibleEntries(), 4u);
    ASSERT_NE(fat.DeletedMap(), nullptr) << "the map stays with the reader for the recovery";
    EXPECT_EQ(fat.DeletedMap()->ImplausibleEntries, 4u);
}

// A long name cut at the end of a deleted folder's cluster: its file's data
// was written before the folder's next cluster was taken, so that cluster
// lies past it. It is the free cluster nearby that goes on with the same
// checksum; a cluster of another folder's entries in between is not it.
TEST(FatSearchCorners, DeletedFolderGoesOnWhereItsCutLongNameDoes)
{
    FatImageBuilder b(Fat16());
    PutEntries(b, b.RootOffset(), {Deleted(Dir("BIG", 3))});
    auto part = [](std::uint8_t sequence, const std::string& text, std::uint8_t checksum) {
        TDirEntry e = LongEntry(sequence, text);
        e[kLongNameChecksum] = checksum;
        return e;
    };
    std::vector<TDirEntry> first;
    for (std::size_t i = 0; i < 12; ++i)
        first.push_back(File(ShortEntryName11(i), 4 + static_cast<std::uint32_t>(i / 2), 100));
    first.push_back(part(0x43, "ry.txt", 0x5A));
    first.push_back(part(0x02, " of a cut ent", 0x5A));
    PutDirectory(b, 3, 0, first);  // 16 slots: full, the name cut after two of its three parts
    std::vector<std::uint8_t>& bytes = b.Bytes();
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(b.ClusterOffset(10)), 512, 'q');  // its data
    PutEntries(b, b.ClusterOffset(11), {part(0x01, "somebody else", 0x11), File("ELSE~1  TXT", 20, 5)});
    PutEntries(b, b.ClusterOffset(12), {part(0x01, "the long name", 0x5A), File("THELON~1TXT", 10, 100),
                                        File("G       TXT", 13, 5)});
    Result r;
    Search(b, r);
    ASSERT_EQ(r.model.Tree().Count(), 2u);
    const auto& files = r.model.Tree().NodeAt(1)->Data().Files;
    ASSERT_EQ(files.size(), 14u);
    EXPECT_EQ(files[12].Name, "the long name of a cut entry.txt");
    EXPECT_EQ(files[12].FileRef, 10u);
    EXPECT_EQ(files[13].Name, "G.TXT");
}
