// The found-file model: sibling order, folder states, NTFS placeholders, the
// filtered copy and its twins, and what an observer is told.

#include "salvage/search/FoundFileModel.h"
#include "tests/search/TreeDump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace salvage;
using searchtest::DumpTree;

namespace {

TFileInfo Record(std::uint32_t ref, std::uint32_t parent, std::string name, bool deleted = false)
{
    TFileInfo r;
    r.FileRef = ref;
    r.ParentRef = parent;
    r.Name = std::move(name);
    r.Deleted = deleted;
    return r;
}

std::vector<std::string> ChildTexts(const TTreeNode& node)
{
    std::vector<std::string> texts;
    for (const TTreeNode* c = node.FirstChild(); c; c = c->NextSibling())
        texts.push_back(c->Text());
    return texts;
}

std::size_t Reachable(const TResultsTree& tree)
{
    std::size_t n = 0;
    for (const TTreeNode* node = tree.First(); node; node = tree.NextDepthFirst(*node))
        ++n;
    return n;
}

} // namespace

TEST(ResultsTree, SiblingsSortCaseInsensitivelyTopLevelKeepsArrival)
{
    TResultsTree tree;
    TTreeNode* root = tree.AddChildSorted(nullptr, "root", NewDirNode());
    for (const char* name : {"b", "A", "c", "a", "B"})
        tree.AddChildSorted(root, name, NewDirNode());
    // Equal names go after the ones already there.
    EXPECT_EQ(ChildTexts(*root), (std::vector<std::string>{"A", "a", "b", "B", "c"}));
    for (const char* name : {"b", "A", "c"})
        tree.AddChildSorted(nullptr, name, NewDirNode());
    std::vector<std::string> top;
    for (std::size_t i = 0; i < tree.TopLevelCount(); ++i)
        top.push_back(tree.TopLevel(i)->Text());
    EXPECT_EQ(top, (std::vector<std::string>{"root", "b", "A", "c"}));
    // Latin-1 letters compare by their capitals; "?" (a lost first byte) sorts first.
    TTreeNode* other = tree.AddChildSorted(nullptr, "other", NewDirNode());
    for (const char* name : {"\xC3\xA9t\xC3\xA9", "?IR1", "\xC3\x89T\xC3\x89S", "Zed"})
        tree.AddChildSorted(other, name, NewDirNode());
    EXPECT_EQ(ChildTexts(*other), (std::vector<std::string>{"?IR1", "Zed", "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89S"}));
}

// Thousands of siblings inserted and moved at random keep exactly the order a
// front-to-back scan gives, and positions, lookups and numbering agree.
TEST(ResultsTree, LargeSiblingListsMatchTheScanningOrder)
{
    std::mt19937 rng(7);
    TResultsTree tree;
    TTreeNode* a = tree.AddChild(nullptr, "a", NewDirNode());
    TTreeNode* b = tree.AddChild(nullptr, "b", NewDirNode());
    std::vector<TTreeNode*> refA, refB;
    auto insertScanning = [](std::vector<TTreeNode*>& list, TTreeNode* node) {
        auto it = std::find_if(list.begin(), list.end(),
                               [&](TTreeNode* c) { return CompareUpper(c->Text(), node->Text()) > 0; });
        list.insert(it, node);
    };
    for (int i = 0; i < 4000; ++i) {
        std::string name(1 + rng() % 3, 'a');
        for (char& ch : name)
            ch = static_cast<char>((rng() % 2 ? 'a' : 'A') + rng() % 4);
        TTreeNode* n = tree.AddChildSorted(a, name, NewDirNode());
        insertScanning(refA, n);
        if (i % 3 == 0) {
            TTreeNode* moved = refA[rng() % refA.size()];
            refA.erase(std::find(refA.begin(), refA.end(), moved));
            tree.MoveChildSorted(*moved, b);
            insertScanning(refB, moved);
        }
    }
    for (auto [parent, ref] : {std::pair{a, &refA}, std::pair{b, &refB}}) {
        ASSERT_EQ(parent->ChildCount(), ref->size());
        std::size_t row = 0;
        for (TTreeNode* c = parent->FirstChild(); c; c = c->NextSibling(), ++row) {
            ASSERT_EQ(c, (*ref)[row]);
            ASSERT_EQ(c->Index(), row);
            ASSERT_EQ(parent->Child(row), c);
            ASSERT_EQ(c->Parent(), parent);
        }
    }
    EXPECT_EQ(a->Child(refA.size()), nullptr);
    // Depth-first numbering: a, a's children, b, b's children.
    EXPECT_EQ(b->AbsoluteIndex(), static_cast<std::int32_t>(refA.size()) + 1);
    EXPECT_EQ(tree.NodeAt(b->AbsoluteIndex() + 1), refB.front());
    EXPECT_EQ(tree.NodeAt(static_cast<std::int32_t>(tree.Count())), nullptr);
    EXPECT_EQ(Reachable(tree), tree.Count());
}

TEST(FoundFileModel, DeletedFileMarksEveryAncestorExceptDeletedOnes)
{
    TFoundFileModel m;
    TTreeNode* root = m.AddDirRecord(Record(2, 2, "."), nullptr);
    TTreeNode* a = m.AddDirRecord(Record(3, 2, "a"), root);
    TTreeNode* b = m.AddDirRecord(Record(4, 3, "b", true), a);
    TTreeNode* c = m.AddDirRecord(Record(5, 4, "c"), b);
    EXPECT_TRUE(root->Expanded());
    EXPECT_EQ(b->ImageIndex(), kImageDeletedFolder);
    EXPECT_EQ(a->ImageIndex(), kImageHasDeleted);  // the deleted folder marked it
    EXPECT_FALSE(b->Data().HasDeleted);

    m.AddFileRecord(Record(9, 5, "f", true), *c);
    EXPECT_EQ(c->ImageIndex(), kImageHasDeleted);
    EXPECT_EQ(b->ImageIndex(), kImageDeletedFolder);
    for (TTreeNode* n : {root, a, b, c})
        EXPECT_TRUE(n->Data().HasDeleted) << n->Text();
    EXPECT_FALSE(m.MarkDeletedUp(c)) << "nothing left to change";

    TTreeNode* live = m.AddDirRecord(Record(6, 2, "live"), root);
    m.AddFileRecord(Record(10, 6, "kept"), *live);
    EXPECT_EQ(live->ImageIndex(), kImageFolder);
    EXPECT_FALSE(live->Data().HasDeleted);
    ASSERT_EQ(live->Data().Files.size(), 1u);
    EXPECT_EQ(live->Data().Files[0].Name, "kept");
}

// An NTFS child arrives before its parent: it waits under "$$folder_N", and
// that node becomes the parent itself when the parent's record comes.
TEST(FoundFileModel, PlaceholdersBecomeTheirFoldersAndMove)
{
    TFoundFileModel m;
    m.AddNTFSDir(Record(5, 5, "."));  // the root names itself as parent
    m.AddNTFSFile(Record(30, 5, "top.txt"));
    m.AddNTFSFile(Record(36, 50, "early.doc", true));
    m.AddNTFSDir(Record(60, 61, "Inner"));
    m.AddNTFSFile(Record(38, 37, "orphan.dat", true));
    EXPECT_EQ(DumpTree(m.Tree()),
              ". [0]\n./top.txt\n"
              "$$folder_50 [2]\n$$folder_50/early.doc (deleted)\n"
              "$$folder_61 [2]\n$$folder_61/Inner [0]\n"
              "$$folder_37 [2]\n$$folder_37/orphan.dat (deleted)\n");
    EXPECT_TRUE(m.FindNodeByRef(50)->Data().HasDeleted);
    EXPECT_EQ(m.FindNodeByRef(50)->Data().Name, "Unknown");

    TTreeNode* photos = m.AddNTFSDir(Record(50, 5, "Photos"));
    m.AddNTFSDir(Record(61, 5, "Outer", true));
    m.AddNTFSDir(Record(62, 5, "Alpha"));
    EXPECT_EQ(DumpTree(m.Tree()),
              ". [4]\n./top.txt\n"
              "./Alpha [0]\n"
              "./Outer [2]\n./Outer/Inner [0]\n"
              "./Photos [4]\n./Photos/early.doc (deleted)\n"
              "$$folder_37 [2]\n$$folder_37/orphan.dat (deleted)\n");
    EXPECT_EQ(photos->Data().Name, "Photos");
    EXPECT_EQ(photos->Data().ParentRef, 5u);
    EXPECT_FALSE(photos->Data().Deleted);
    EXPECT_EQ(m.FindNodeByRef(5)->Text(), ".");
    EXPECT_TRUE(m.FindNodeByRef(5)->Expanded());
    EXPECT_EQ(m.NodeIndex().Count(), 6u);  // 5, 50, 61, 60, 37, 62
    std::vector<std::uint32_t> refs;
    m.NodeIndex().ForEach([&](std::uint32_t ref, TTreeNode* node) {
        refs.push_back(ref);
        EXPECT_EQ(node->Data().DirRef, ref);
    });
    EXPECT_EQ(refs, (std::vector<std::uint32_t>{5, 37, 50, 60, 61, 62}));
}

// Records naming each other as parents must not cut folders off the tree.
TEST(FoundFileModel, ParentCyclesLeaveTheTreeWhole)
{
    TFoundFileModel m;
    m.AddNTFSDir(Record(70, 71, "x"));
    m.AddNTFSDir(Record(71, 70, "y"));
    m.AddNTFSDir(Record(72, 72, "self"));
    EXPECT_EQ(Reachable(m.Tree()), m.Tree().Count());
    EXPECT_EQ(m.FindNodeByRef(71)->Text(), "y");
}

TEST(FoundFileModel, ClearForgetsTheCachedNode)
{
    TFoundFileModel m;
    m.AddNTFSFile(Record(8, 40, "a"));
    ASSERT_NE(m.FindNodeByRef(40), nullptr);  // now cached
    m.Clear();
    EXPECT_EQ(m.FindNodeByRef(40), nullptr);
    EXPECT_TRUE(m.Tree().Empty());
    EXPECT_EQ(m.NodeIndex().Count(), 0u);
}

TEST(FoundFileModel, FilteredTreeHoldsDeletedMaterialAndTwins)
{
    TFoundFileModel m;
    m.AddNTFSDir(Record(5, 5, "."));
    m.AddNTFSDir(Record(10, 5, "Live"));
    m.AddNTFSFile(Record(11, 10, "plain.txt"));
    m.AddNTFSDir(Record(20, 5, "Mixed"));
    m.AddNTFSFile(Record(21, 20, "kept.txt"));
    m.AddNTFSFile(Record(22, 20, "gone.txt", true));
    m.AddNTFSDir(Record(23, 20, "CleanSub"));
    m.AddNTFSDir(Record(30, 5, "Dead", true));
    m.AddNTFSFile(Record(31, 30, "inside.txt"));  // live entry in a deleted folder
    m.AddNTFSDir(Record(32, 30, "LiveBelowDead"));
    m.AddNTFSFile(Record(33, 32, "deeper.txt"));
    m.AddNTFSFile(Record(34, 99, "lost.txt", true));
    m.Tree().SetExpanded(*m.FindNodeByRef(20), true);

    m.BuildFilterTree();
    EXPECT_EQ(DumpTree(m.FilterTree()),
              ". [4]\n"
              "./Dead [2]\n./Dead/inside.txt\n"
              "./Dead/LiveBelowDead [0]\n"
              "./Mixed [4]\n./Mixed/gone.txt (deleted)\n"
              "$$folder_99 [2]\n$$folder_99/lost.txt (deleted)\n");
    // Every copy and its original point at each other.
    for (TTreeNode* copy = m.FilterTree().First(); copy; copy = m.FilterTree().NextDepthFirst(*copy)) {
        TTreeNode* original = m.Tree().NodeAt(copy->Data().TwinIndex);
        ASSERT_NE(original, nullptr) << copy->Text();
        EXPECT_EQ(searchtest::NodePath(*original), searchtest::NodePath(*copy));
        EXPECT_EQ(original->Data().TwinIndex, copy->AbsoluteIndex());
        EXPECT_EQ(copy->Expanded(), original->Expanded());
    }
    EXPECT_EQ(m.FindNodeByRef(10)->Data().TwinIndex, -1);
    EXPECT_TRUE(m.FilterTree().NodeAt(m.FindNodeByRef(20)->Data().TwinIndex)->Expanded());

    // Rebuilt from a tree with nothing deleted: empty, and no stale twins.
    TFoundFileModel clean;
    clean.AddNTFSDir(Record(5, 5, "."));
    clean.AddNTFSDir(Record(6, 5, "a"));
    clean.BuildFilterTree();
    EXPECT_TRUE(clean.FilterTree().Empty());
}

// Two folders with one first cluster (a deleted folder whose cluster a live
// folder took): each copy is paired with its own original.
TEST(FoundFileModel, TwinsFollowTheCopyNotTheReference)
{
    TFoundFileModel m;
    TTreeNode* root = m.AddDirRecord(Record(2, 2, "."), nullptr);
    TTreeNode* abc = m.AddDirRecord(Record(3, 2, "Abc"), root);
    TTreeNode* reused = m.AddDirRecord(Record(4, 3, "NewDir"), abc);
    TTreeNode* gone = m.AddDirRecord(Record(4, 2, "Bgone", true), root);
    m.BuildFilterTree();
    EXPECT_EQ(DumpTree(m.FilterTree()), ". [4]\n./Bgone [2]\n");
    const TTreeNode* copy = m.FilterTree().NodeAt(1);
    EXPECT_EQ(m.Tree().NodeAt(copy->Data().TwinIndex), gone);
    EXPECT_EQ(reused->Data().TwinIndex, -1);
}

namespace {

struct EventLog : TTreeObserver {
    std::vector<std::string> events;
    void NodeAboutToBeAdded(TTreeNode* parent, std::size_t row) override
    {
        events.push_back("add? " + (parent ? parent->Text() : std::string("-")) + " " + std::to_string(row));
    }
    void NodeAdded(TTreeNode& n) override { events.push_back("added " + n.Text() + " " + std::to_string(n.Index())); }
    void NodeAboutToMove(TTreeNode& n, TTreeNode* to, std::size_t row) override
    {
        events.push_back("move? " + n.Text() + " " + (to ? to->Text() : std::string("-")) + " " +
                         std::to_string(row));
    }
    void NodeMoved(TTreeNode& n) override { events.push_back("moved " + n.Text() + " " + std::to_string(n.Index())); }
    void ImageChanged(TTreeNode& n) override { events.push_back("image " + n.Text() + " " + std::to_string(n.ImageIndex())); }
    void TextChanged(TTreeNode& n) override { events.push_back("text " + n.Text()); }
    void FileAppended(TTreeNode& n, std::size_t i) override { events.push_back("file " + n.Text() + " " + std::to_string(i)); }
    void DataChanged(TTreeNode& n) override
    {
        events.push_back("data " + n.Text() + " " + n.Data().Name + (n.Data().HasDeleted ? " has-deleted" : ""));
    }
    void Cleared() override { events.push_back("cleared"); }
    void AboutToRebuild() override { events.push_back("rebuild?"); }
    void Rebuilt() override { events.push_back("rebuilt"); }
};

} // namespace

// Both views of a tree (the tree and the list) follow it: every observer
// hears every change a view shows, in order.
TEST(FoundFileModel, EveryObserverHearsEveryChangeInOrder)
{
    TFoundFileModel m;
    EventLog log;
    EventLog second;
    m.Tree().AddObserver(&log);
    m.Tree().AddObserver(&second);
    m.Tree().AddObserver(&log);  // once is enough
    m.AddNTFSDir(Record(5, 5, "."));
    m.AddNTFSDir(Record(7, 5, "b"));
    m.AddNTFSFile(Record(9, 8, "f", true));
    m.AddNTFSDir(Record(8, 5, "a"));
    m.Clear();
    const std::vector<std::string> expected{
        "add? - 0", "added $$folder_5 0",                    // the root's own placeholder
        "data $$folder_5 .", "image $$folder_5 0", "text .",  // ... becomes the root
        "add? . 0", "added b 0",
        "add? - 1", "added $$folder_8 1", "data $$folder_8 Unknown has-deleted", "file $$folder_8 0",
        "data $$folder_8 a has-deleted", "image $$folder_8 0", "text a",
        "move? a . 0", "moved a 0",                          // a goes before b
        "image a 4", "data . . has-deleted", "image . 4",
        "cleared",
    };
    EXPECT_EQ(log.events, expected);
    EXPECT_EQ(second.events, expected);
    m.Tree().RemoveObserver(&log);
    m.Tree().RemoveObserver(&second);
    m.AddNTFSDir(Record(5, 5, "."));
    EXPECT_EQ(log.events.size(), expected.size()) << "a removed observer hears nothing";
}

// The filtered tree is rebuilt as a whole: its observers see the rebuild
// bracketed, so a view resets once instead of following every node.
TEST(FoundFileModel, TheFilteredTreeIsRebuiltInsideTheRebuildBracket)
{
    TFoundFileModel m;
    TTreeNode* root = m.AddDirRecord(Record(2, 2, "."), nullptr);
    m.AddFileRecord(Record(10, 2, "?ONE.TXT", true), *root);
    EventLog log;
    m.FilterTree().AddObserver(&log);
    m.BuildFilterTree();
    m.BuildFilterTree();
    ASSERT_GE(log.events.size(), 4u);
    EXPECT_EQ(log.events.front(), "rebuild?");
    EXPECT_EQ(log.events.back(), "rebuilt");
    EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "rebuild?"), 2);
    EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "cleared"), 2);
    m.FilterTree().RemoveObserver(&log);
}

// The first filtered tree after Clear() is made of the copies kept as the FAT
// records arrived; it must be the one the pass over every record makes, also
// where a folder's records did not all come through the model.
TEST(FoundFileModel, TheFirstFilteredTreeFromArrivalsEqualsThePass)
{
    const searchtest::DumpOptions all{.files = true, .records = true};
    TFoundFileModel m;
    for (int analysis = 0; analysis < 2; ++analysis) {
        SCOPED_TRACE(analysis);
        m.Clear();
        TTreeNode* root = m.AddDirRecord(Record(2, 2, "."), nullptr);
        TTreeNode* mixed = m.AddDirRecord(Record(3, 2, "Mixed"), root);
        TTreeNode* dead = m.AddDirRecord(Record(4, 2, "Dead", true), root);
        TTreeNode* other = m.AddDirRecord(Record(5, 2, "Other"), root);
        TTreeNode* deadWithLive = m.AddDirRecord(Record(6, 2, "DeadWithLive", true), root);
        TTreeNode* clean = m.AddDirRecord(Record(7, 2, "Clean"), root);
        m.AddFileRecord(Record(10, 3, "kept.txt"), *mixed);
        TFileInfo unnamed = Record(11, 3, "", true);
        unnamed.Condition = 2;
        m.AddFileRecord(unnamed, "a name longer than a short string.txt", *mixed);
        // Arrivals of one folder interleave with another's.
        TTreeNode* sub = m.AddDirRecord(Record(12, 3, "Sub"), mixed);
        m.AddFileRecord(Record(13, 12, "?UB.TXT", true), *sub);
        m.AddFileRecord(Record(14, 3, "?ONE.TXT", true), *mixed);
        m.AddFileRecord(Record(15, 3, "also kept.txt"), *mixed);
        m.AddFileRecord(Record(20, 4, "?EAD1.TXT", true), *dead);
        m.AddFileRecord(Record(21, 4, "?EAD2.TXT", true), *dead);
        m.AddFileRecord(Record(30, 5, "?THER.TXT", true), *other);
        m.Tree().AppendFile(*other, Record(31, 5, "?AST.TXT", true));  // not through the model
        m.AddFileRecord(Record(40, 6, "?ONE.TXT", true), *deadWithLive);
        m.AddFileRecord(Record(41, 6, "live.txt"), *deadWithLive);  // a deleted folder shows it too
        m.AddFileRecord(Record(50, 7, "plain.txt"), *clean);
        if (analysis == 1)
            m.AddFileRecord(Record(22, 4, "?EAD3.TXT", true), *dead);
        const std::string tree = DumpTree(m.Tree(), all);

        m.BuildFilterTree();
        const std::string fromArrivals = DumpTree(m.FilterTree(), all);
        EXPECT_EQ(DumpTree(m.Tree(), all), tree) << "the tree keeps its records";
        m.BuildFilterTree();  // the pass over every record
        EXPECT_EQ(fromArrivals, DumpTree(m.FilterTree(), all));
        EXPECT_NE(fromArrivals.find("Other/?AST.TXT (deleted)"), std::string::npos);
        EXPECT_NE(fromArrivals.find("DeadWithLive/live.txt ref=41"), std::string::npos);
        EXPECT_NE(fromArrivals.find("a name longer than a short string.txt (deleted) ref=11 parent=3 size=0 cond=2"),
                  std::string::npos);
        EXPECT_EQ(fromArrivals.find("kept.txt"), std::string::npos);
        EXPECT_EQ(fromArrivals.find("Clean"), std::string::npos);
    }
}
