// The NTFS search applied to the results tree: parents found by record
// number, children parked under "$$folder_N" placeholders until (or unless)
// their folder arrives, deleted material marked up to the top.

#include "TreeDump.h"
#include "salvage/search/Analysis.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

using namespace salvage;

namespace {

struct Analysed {
    std::shared_ptr<TAnalysis> analysis;
    TFoundFileModel model;
};

std::unique_ptr<Analysed> Analyse(const std::string& image)
{
    auto a = std::make_unique<Analysed>();
    TLogicalDisk disk;
    disk.DevicePath = image;
    std::string error;
    a->analysis = TAnalysis::Open(disk, error);
    EXPECT_TRUE(a->analysis) << error;
    if (!a->analysis)
        return nullptr;
    EXPECT_EQ(a->analysis->Kind(), TFileSystemKind::NTFS);
    EXPECT_TRUE(a->analysis->Run(a->model, {}, {}, error)) << error;
    return a;
}

// Every folder and file of a tree by path ("./dir1/mult2.dat").
struct Entry {
    const TTreeNode* folder = nullptr;
    const TFileInfo* file = nullptr;
};
std::map<std::string, Entry> Index(const TResultsTree& tree)
{
    std::map<std::string, Entry> index;
    for (const TTreeNode* n = tree.First(); n != nullptr; n = tree.NextDepthFirst(*n)) {
        const std::string path = searchtest::NodePath(*n);
        index[path].folder = n;
        for (const TFileInfo& f : n->Data().Files)
            index[path + "/" + f.Name].file = &f;
    }
    return index;
}

class LocalTime : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        saved_ = tz ? std::optional<std::string>(tz) : std::nullopt;
    }
    void TearDown() override
    {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> saved_;
};

} // namespace

TEST(NtfsModel, ReferenceImageTreeMatchesTheAnswerKey)
{
    auto a = Analyse(testdata::ReferenceNtfsImage());
    ASSERT_TRUE(a);
    const TResultsTree& tree = a->model.Tree();
    ASSERT_EQ(tree.TopLevelCount(), 2u);
    const TTreeNode* root = tree.TopLevel(0);
    EXPECT_EQ(root->Text(), ".");
    EXPECT_EQ(root->Data().DirRef, 5u);
    EXPECT_EQ(root->ImageIndex(), kImageHasDeleted);
    EXPECT_TRUE(root->Expanded());
    const TTreeNode* placeholder = tree.TopLevel(1);
    EXPECT_EQ(placeholder->Text(), "$$folder_37");
    EXPECT_EQ(placeholder->ImageIndex(), kImageDeletedFolder);

    auto index = Index(tree);
    const std::map<std::string, std::uint64_t> deletedFiles = {
        {"./res1.dat", 101},         {"./sing1.dat", 780},          {"./mult1.dat", 3801},
        {"./frag1.dat", 1584},       {"./frag2.dat", 3873},         {"./dir1/mult2.dat", 1715},
        {"./dir1/dir2/frag3.dat", 2027}, {"$$folder_37/sing2.dat", 1005}};
    for (const auto& [path, size] : deletedFiles) {
        ASSERT_TRUE(index[path].file) << path;
        EXPECT_TRUE(index[path].file->Deleted) << path;
        EXPECT_EQ(index[path].file->Size, size) << path;
        EXPECT_EQ(index[path].file->Condition, kGood) << path;
    }
    for (const char* dir : {"./dir1", "./dir1/dir2"}) {
        ASSERT_TRUE(index[dir].folder) << dir;
        EXPECT_EQ(index[dir].folder->ImageIndex(), kImageDeletedFolder) << dir;
    }
    for (const char* system : {"./$MFT", "./$Bitmap", "./$UpCase", "./$Extend/$Quota"}) {
        ASSERT_TRUE(index[system].file) << system;
        EXPECT_FALSE(index[system].file->Deleted) << system;
    }

    // The filtered tree holds exactly the deleted material.
    auto filtered = Index(a->model.FilterTree());
    for (const auto& [path, size] : deletedFiles)
        EXPECT_TRUE(filtered[path].file) << path;
    EXPECT_FALSE(filtered["./$MFT"].file);
    EXPECT_FALSE(filtered["./$Extend"].folder) << "a live folder without deleted content";
}

TEST_F(LocalTime, ReferenceImageDatesAreTheLeapDayInLocalTime)
{
    for (const char* tz : {"UTC", "JST-9", "PST8"}) {
        setenv("TZ", tz, 1);
        tzset();
        auto a = Analyse(testdata::ReferenceNtfsImage());
        ASSERT_TRUE(a);
        auto index = Index(a->model.Tree());
        ASSERT_TRUE(index["./mult1.dat"].file);
        const DateTimeFields modified = DecodeDateTime(index["./mult1.dat"].file->Modified);
        const DateTimeFields created = DecodeDateTime(index["./mult1.dat"].file->Created);
        // The files were made on 29 February 2004 (in a time zone a few
        // hours from UTC): far enough from midnight to stay on that day in
        // zones close to it.
        if (std::string(tz) == "UTC") {
            EXPECT_EQ(modified.Year, 2004);
            EXPECT_EQ(modified.Month, 2);
            EXPECT_EQ(modified.Day, 29);
            EXPECT_EQ(created.Day, 29);
        } else {
            // The same instant, shifted by the zone's offset.
            setenv("TZ", "UTC", 1);
            tzset();
            auto utc = Analyse(testdata::ReferenceNtfsImage());
            const double shift = Index(utc->model.Tree())["./mult1.dat"].file->Modified - index["./mult1.dat"].file->Modified;
            EXPECT_NEAR(shift * 24, std::string(tz) == "JST-9" ? -9.0 : 8.0, 1e-6) << tz;
        }
    }
}

class NtfsGeneratedModel : public ::testing::TestWithParam<const char*> {};

TEST_P(NtfsGeneratedModel, EveryEntryUnderItsRealParentOrItsPlaceholder)
{
    const auto vol = testdata::NtfsVolume(GetParam());
    auto a = Analyse(vol.image);
    ASSERT_TRUE(a);
    auto index = Index(a->model.Tree());
    const auto manifest = testdata::ReadNtfsManifest(vol.manifest);
    std::map<std::string, std::uint32_t> records;
    std::map<std::uint32_t, int> liveRecords;
    for (const auto& m : manifest) {
        records[m.entry.path] = m.record;
        if (!m.entry.deleted)
            ++liveRecords[m.record];
    }
    int checked = 0;
    for (const auto& m : manifest) {
        const std::string& path = m.entry.path;
        if (m.entry.deleted && liveRecords.count(m.record) != 0)
            continue; // its record holds a newer file now
        std::string treePath = "." + path;
        // A deleted entry whose folder's record now holds something else is
        // parked under a placeholder named after that record.
        const std::string parent = path.substr(0, path.rfind('/'));
        if (!parent.empty() && records.count(parent) != 0 && index.count("." + parent) == 0)
            treePath = "$$folder_" + std::to_string(records[parent]) + path.substr(path.rfind('/'));
        const Entry& e = index[treePath];
        if (m.entry.directory) {
            ASSERT_TRUE(e.folder) << treePath;
            EXPECT_EQ(e.folder->Data().Deleted, m.entry.deleted) << treePath;
            EXPECT_EQ(e.folder->Data().DirRef, m.record) << treePath;
        } else {
            ASSERT_TRUE(e.file) << treePath;
            EXPECT_EQ(e.file->Deleted, m.entry.deleted) << treePath;
            EXPECT_EQ(e.file->FileRef, m.record) << treePath;
            if (!m.entry.deleted) {
                EXPECT_EQ(e.file->Size, m.entry.size) << treePath;
            }
        }
        ++checked;
    }
    EXPECT_GT(checked, 20);
    // The folder whose record was reused by a file leaves its child under a placeholder.
    ASSERT_EQ(records.count("/Gone"), 1u);
    const std::string placeholder = "$$folder_" + std::to_string(records["/Gone"]);
    ASSERT_TRUE(index[placeholder].folder);
    EXPECT_EQ(index[placeholder].folder->Parent(), nullptr);
    EXPECT_TRUE(index[placeholder + "/orphan.txt"].file);
    // Deleted material marks the folders above it.
    EXPECT_EQ(index["./Pictures"].folder->ImageIndex(), kImageHasDeleted);
    EXPECT_EQ(index["./Docs"].folder->ImageIndex(), kImageFolder);
    EXPECT_EQ(index["./OldFolder/Sub"].folder->ImageIndex(), kImageDeletedFolder);
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsGeneratedModel, ::testing::Values("ntfs4k", "ntfs512", "ntfs4kn"));
