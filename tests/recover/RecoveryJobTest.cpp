#include "salvage/recover/RecoveryJob.h"
#include "salvage/search/FoundFileModel.h"

#include <gtest/gtest.h>

using namespace salvage;

namespace {

TFileInfo Record(std::uint32_t ref, const std::string& name, bool deleted = false)
{
    TFileInfo r;
    r.FileRef = ref;
    r.Name = name;
    r.Deleted = deleted;
    return r;
}

// . / A / B with files in B, and a top-level placeholder holding a file.
struct SmallTree {
    SmallTree()
    {
        root = model.AddDirRecord(Record(2, "."), nullptr);
        a = model.AddDirRecord(Record(3, "A"), root);
        b = model.AddDirRecord(Record(4, "B", true), a);
        model.AddFileRecord(Record(5, "one.txt", true), *b);
        model.AddFileRecord(Record(6, "two.txt", true), *b);
        model.AddFileRecord(Record(7, "two.txt", true), *b);
    }
    TFoundFileModel model;
    TTreeNode* root;
    TTreeNode* a;
    TTreeNode* b;
};

} // namespace

TEST(NodePath, AncestorsBelowTheRootTopDown)
{
    SmallTree t;
    EXPECT_EQ(NodePath(*t.b), (std::vector<std::string>{"A"}));
    EXPECT_TRUE(NodePath(*t.a).empty());
    EXPECT_TRUE(NodePath(*t.root).empty());
}

TEST(BuildRecoveryJob, FilesSelectedInFolderBLandInAB)
{
    SmallTree t;
    TRecoverySelection sel;
    sel.SelectedFolder = t.b;
    sel.HasListSelection = true;
    sel.ListFiles = {{t.b, 0}};
    TRecoveryJob job;
    ASSERT_TRUE(BuildRecoveryJob(sel, "/out", false, true, job));
    EXPECT_EQ(job.TargetSubfolders, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(job.SelectedFiles.size(), 1u);
    EXPECT_TRUE(job.SelectedFolders.empty());
    EXPECT_FALSE(job.RecoverAll);

    ASSERT_TRUE(BuildRecoveryJob(sel, "/out", true, false, job));
    EXPECT_TRUE(job.TargetSubfolders.empty()) << "without restore structure";
}

TEST(BuildRecoveryJob, WithoutListSelectionTheFolderItselfIsRecovered)
{
    SmallTree t;
    TRecoverySelection sel;
    sel.SelectedFolder = t.b;
    TRecoveryJob job;
    ASSERT_TRUE(BuildRecoveryJob(sel, "/out", true, true, job));
    EXPECT_EQ(job.TargetSubfolders, (std::vector<std::string>{"A"})) << "B makes its own folder";
    ASSERT_EQ(job.SelectedFolders.size(), 1u);
    EXPECT_EQ(job.SelectedFolders[0], t.b);

    sel.SelectedFolder = t.root;
    sel.HasListSelection = true;
    sel.ListFolders = {t.a};
    ASSERT_TRUE(BuildRecoveryJob(sel, "/out", true, true, job));
    EXPECT_TRUE(job.TargetSubfolders.empty()) << "the root adds no name";
    EXPECT_FALSE(BuildRecoveryJob(TRecoverySelection{}, "/out", true, true, job));
}

TEST(FindByPath, FoldersFilesAndMisses)
{
    SmallTree t;
    EXPECT_EQ(FindByPath(t.model.Tree(), ".").Folder, t.root);
    EXPECT_EQ(FindByPath(t.model.Tree(), "./A/B").Folder, t.b);
    const TPathMatch two = FindByPath(t.model.Tree(), "./A/B/two.txt");
    EXPECT_EQ(two.Folder, nullptr);
    EXPECT_EQ(two.FilesFolder, t.b);
    EXPECT_EQ(two.Files.size(), 2u) << "both files of that name";
    for (const char* miss : {"./A/C", "./A/B/three.txt", "A", "", "./A/B/one.txt/x"}) {
        const TPathMatch m = FindByPath(t.model.Tree(), miss);
        EXPECT_EQ(m.Folder, nullptr) << miss;
        EXPECT_TRUE(m.Files.empty()) << miss;
    }
}
