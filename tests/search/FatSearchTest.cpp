// The FAT search on real volumes: the reference image with its answer key,
// and the generated FAT12/16/32 and corner-case volumes with their manifests.

#include "salvage/search/FAT32Search.h"
#include "salvage/search/ModelSink.h"
#include "tests/search/TreeDump.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

using namespace salvage;
using searchtest::DumpTree;
using searchtest::RunFatSearch;

namespace {

const std::string kRestore = "_restore{A25F48CA-6632-4143-8EF8-3586A84AB5AF}";

struct Found {
    std::vector<std::string> parts;  // below the root "."
    bool directory = false;
    bool deleted = false;
    std::uint64_t size = 0;
    bool matched = false;
};

std::vector<std::string> Split(const std::string& path)
{
    std::vector<std::string> parts;
    std::istringstream in(path);
    for (std::string part; std::getline(in, part, '/');)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

std::vector<Found> Flatten(const TResultsTree& tree)
{
    std::vector<Found> all;
    for (const TTreeNode* n = tree.First(); n; n = tree.NextDepthFirst(*n)) {
        std::vector<std::string> parts = Split(searchtest::NodePath(*n));
        parts.erase(parts.begin());  // "."
        if (!parts.empty())
            all.push_back({parts, true, n->Data().Deleted, 0});
        for (const TFileInfo& f : n->Data().Files) {
            auto fileParts = parts;
            fileParts.push_back(f.Name);
            all.push_back({fileParts, false, f.Deleted, f.Size});
        }
    }
    return all;
}

// Short names are stored upper-cased, and a deleted one has lost its first
// character to "?".
bool SameName(const std::string& found, const std::string& made)
{
    if (found.size() != made.size())
        return false;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (i == 0 && found[0] == '?')
            continue;
        if (std::toupper(static_cast<unsigned char>(found[i])) != std::toupper(static_cast<unsigned char>(made[i])))
            return false;
    }
    return true;
}

// Every manifest entry is found exactly once, with its state and size, and
// nothing else is found (the volume label is no file).
void ExpectManifest(const TFoundFileModel& model, const std::string& manifest)
{
    std::vector<Found> found = Flatten(model.Tree());
    for (const testdata::ManifestEntry& e : testdata::ReadManifest(manifest)) {
        const auto parts = Split(e.path);
        int hits = 0;
        for (Found& f : found) {
            if (f.directory != e.directory || f.parts.size() != parts.size())
                continue;
            if (!std::equal(f.parts.begin(), f.parts.end(), parts.begin(), SameName))
                continue;
            ++hits;
            f.matched = true;
            EXPECT_EQ(f.deleted, e.deleted) << e.path;
            if (!e.directory) {
                EXPECT_EQ(f.size, e.size) << e.path;
            }
        }
        EXPECT_EQ(hits, 1) << e.path;
    }
    for (const Found& f : found)
        EXPECT_TRUE(f.matched) << "found but never made: " << f.parts.back();
}

} // namespace

TEST(FatSearch, ReferenceImageAnswerKey)
{
    TFoundFileModel model;
    const auto run = RunFatSearch(testdata::ReferenceFatImage(), model);
    EXPECT_TRUE(run.done);
    const std::string svi = "./System Volume Information";
    EXPECT_EQ(DumpTree(model.Tree()),
              ". [4]\n"
              "./?RAG1.DAT (deleted)\n./?RAG2.DAT (deleted)\n./?ING.DAT (deleted)\n./?ULT1.DAT (deleted)\n"
              "./?IR1 [2]\n"
              "./?IR1/MULT2.DAT (deleted)\n"       // its own entry is intact
              "./?IR1/DIR2 [2]\n"                  // deleted because it lies in a deleted folder
              "./?IR1/DIR2/FRAG3.DAT (deleted)\n" +
                  svi + " [2]\n" + svi + "/" + kRestore + " [2]\n" + svi + "/" + kRestore + "/?P1 [2]\n");

    std::map<std::string, std::uint64_t> sizes;
    for (const TTreeNode* n = model.Tree().First(); n; n = model.Tree().NextDepthFirst(*n))
        for (const TFileInfo& f : n->Data().Files)
            sizes[f.Name] = f.Size;
    EXPECT_EQ(sizes, (std::map<std::string, std::uint64_t>{{"?RAG1.DAT", 1584},
                                                           {"?RAG2.DAT", 3873}, {"?ING.DAT", 780},
                                                           {"?ULT1.DAT", 3801}, {"MULT2.DAT", 1715},
                                                           {"FRAG3.DAT", 2027}}));
    const TTreeNode* root = model.Tree().First();
    EXPECT_EQ(root->Data().DirRef, 56u);  // FAT16: the root area's first sector
    EXPECT_EQ(root->Data().Files[0].ParentRef, 56u);
    EXPECT_EQ(root->Data().Files[0].FileRef, 2u);
    EXPECT_NE(root->Data().Files[0].Modified, 0);

    // The filtered tree holds exactly the deleted material: all of it.
    model.BuildFilterTree();
    EXPECT_EQ(DumpTree(model.FilterTree()), DumpTree(model.Tree()));
}

TEST(FatSearch, GeneratedVolumesMatchTheirManifests)
{
    for (const char* name : {"fat12", "fat16", "fat32"}) {
        SCOPED_TRACE(name);
        const auto volume = testdata::FatVolume(name);
        TFoundFileModel model;
        const auto run = RunFatSearch(volume.image, model);
        EXPECT_TRUE(run.done);
        ExpectManifest(model, volume.manifest);
        // Long names survive deletion; short ones lose their first letter.
        const std::string dump = DumpTree(model.Tree());
        EXPECT_NE(dump.find("./Deleted long name.txt (deleted)\n"), std::string::npos) << dump;
        EXPECT_NE(dump.find("./?ONE.TXT (deleted)\n"), std::string::npos) << dump;
        EXPECT_NE(dump.find("./OldFolder/Sub [2]\n"), std::string::npos) << dump;
        EXPECT_NE(dump.find("./Docs/Deep/ER/STILL/DEEPER/LEAF.BIN\n"), std::string::npos) << dump;
        // The progress split only ever moves forward and stays in range.
        ASSERT_FALSE(run.progress.empty());
        EXPECT_TRUE(std::is_sorted(run.progress.begin(), run.progress.end()));
        EXPECT_GE(run.progress.front(), 0);
        EXPECT_LE(run.progress.back(), 100);
    }
}

// Reused, overwritten, looping and cross-linked directory clusters.
TEST(FatSearch, DirectoryCornerCases)
{
    const auto volume = testdata::FatVolume("scenarios");
    TFoundFileModel model;
    EXPECT_TRUE(RunFatSearch(volume.image, model).done);
    ExpectManifest(model, volume.manifest);
    EXPECT_EQ(DumpTree(model.Tree(), {.files = false}),
              ". [4]\n"
              "./Also [4]\n./Also/Overwritten [2]\n"   // not descended into: a file took its cluster
              "./Anc [0]\n./Anc/Child [0]\n"            // its chain runs into Anc: read up to there
              "./Here [4]\n./Here/Intact [2]\n./Here/Intact/Inner [2]\n"
              "./Here/Reused [2]\n"                     // not descended into: NewDir took its cluster
              "./Loop [0]\n"                            // its chain loops: read once
              "./There [0]\n./There/NewDir [0]\n");
}

TEST(FatSearch, ConditionOnlyWhenAsked)
{
    for (const bool estimate : {true, false}) {
        TFoundFileModel model;
        RunFatSearch(testdata::FatVolume("fat16").image, model, estimate);
        int assessed = 0;
        for (const TTreeNode* n = model.Tree().First(); n; n = model.Tree().NextDepthFirst(*n))
            for (const TFileInfo& f : n->Data().Files) {
                if (!f.Deleted) {
                    EXPECT_EQ(f.Condition, kNotAssessed) << f.Name;
                } else if (estimate) {
                    EXPECT_TRUE(f.Condition == kGood || f.Condition == kPoor) << f.Name;
                }
                assessed += f.Condition != kNotAssessed;
            }
        EXPECT_EQ(assessed > 0, estimate);
    }
}

TEST(FatSearch, ProgressRoundsHalvesToEven)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(2.5001), 3);
    EXPECT_EQ(RoundHalfEven(33.333333), 33);
    EXPECT_EQ(RoundHalfEven(100.0), 100);
}

namespace {

// Asks the search to stop from inside a report, as a window's Stop would
// between two reports.
struct StoppingSink : TModelSink {
    using TModelSink::TModelSink;
    TWorkerThread* worker = nullptr;
    int files = 0;
    void FatFileNamed(const TFileInfo& file, std::string_view name, DirToken folder) override
    {
        TModelSink::FatFileNamed(file, name, folder);
        if (++files == 3)
            worker->RequestStop();
    }
};

} // namespace

TEST(FatSearch, StopEndsEveryLevelWithoutCompleting)
{
    platform::OpenError error;
    TFAT32 fat(platform::OpenVolumeReadOnly(testdata::FatVolume("fat32").image, error));
    TFoundFileModel model;
    bool done = false;
    StoppingSink sink(model, {}, [&] { done = true; });
    TFAT32Search search(fat, sink, true);
    sink.worker = &search;
    search.Start();
    search.Wait();
    EXPECT_FALSE(done);
    EXPECT_EQ(sink.files, 3);
    EXPECT_EQ(model.Tree().Count(), 1u) << "stopped before the first subfolder";
}

// The sink keeps where each file with a map entry went, so that the
// conditions are revised without a pass over the whole tree: the same
// records, and the same conditions, as the pass finds.
TEST(FatSearch, TheSinkKnowsEveryDeletedRecordThePassWouldFind)
{
    for (const std::string& image : {testdata::ReferenceFatImage(), testdata::FatVolume("scenarios").image,
                                     testdata::FatVolume("fat16").image}) {
        SCOPED_TRACE(image);
        platform::OpenError error;
        TFAT32 fat(platform::OpenVolumeReadOnly(image, error));
        TFoundFileModel model;
        TModelSink sink(model);
        TFAT32Search search(fat, sink, true);
        search.Start();
        search.Wait();
        std::vector<TFileInfo*> inTree;
        for (TTreeNode* n = model.Tree().First(); n; n = model.Tree().NextDepthFirst(*n))
            for (TFileInfo& f : n->Data().Files)
                if (f.FatEntry != kNoFatEntry)
                    inTree.push_back(&f);
        std::vector<TFileInfo*> kept = sink.DeletedFatFiles();
        ASSERT_FALSE(kept.empty());
        std::sort(inTree.begin(), inTree.end());
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(kept, inTree);

        for (const TFatClusterRule rule : {TFatClusterRule::Consecutive, TFatClusterRule::FreeGaps}) {
            ReviseFatConditions(sink.DeletedFatFiles(), fat, rule);
            std::vector<std::uint8_t> fromSink;
            for (const TFileInfo* f : inTree)
                fromSink.push_back(f->Condition);
            for (TFileInfo* f : inTree)
                f->Condition = kNotAssessed;
            ReviseFatConditions(model.Tree(), fat, rule);
            std::vector<std::uint8_t> fromPass;
            for (const TFileInfo* f : inTree)
                fromPass.push_back(f->Condition);
            EXPECT_EQ(fromSink, fromPass);
            EXPECT_EQ(std::count(fromSink.begin(), fromSink.end(), kNotAssessed), 0);
        }
        sink.Reset();
        EXPECT_TRUE(sink.DeletedFatFiles().empty());
    }
}
