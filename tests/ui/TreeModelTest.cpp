// The tree models over the engine's results trees: they follow every change
// (new folders, placeholders moving under their real parents, images, the
// filtered copy rebuilt) with correct model signals, keep persistent
// indexes on their nodes, and let only the filtered tree's names be edited.
#include "salvage/search/FoundFileModel.h"
#include "salvage/ui/uTreeModel.h"
#include "tests/ui/GuiSupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace salvage;
using namespace salvage::ui;

namespace {

TFileInfo Ntfs(const std::string& name, std::uint32_t ref, std::uint32_t parent, bool deleted)
{
    TFileInfo f;
    f.Name = name;
    f.FileRef = ref;
    f.ParentRef = parent;
    f.Deleted = deleted;
    return f;
}

} // namespace

class TreeModelTest : public QObject {
    Q_OBJECT

private slots:
    void followsFoldersArrivingOutOfOrder()
    {
        TFoundFileModel results;
        TResultsTreeModel model(results.Tree(), false);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy expanded(&model, &TResultsTreeModel::expandedChanged);

        results.AddNTFSDir(Ntfs(".", 5, 5, false));
        // Children before their folder: parked under placeholders.
        results.AddNTFSFile(Ntfs("a.txt", 70, 60, true));
        results.AddNTFSDir(Ntfs("inner", 61, 60, false));
        QCOMPARE(guitest::DumpTree(model), (QStringList{". [0]", "$$folder_60 [2]", "  inner [0]"}));
        const QPersistentModelIndex placeholder = model.index(1, 0);
        QCOMPARE(placeholder.data().toString(), QString("$$folder_60"));

        // The folder arrives: the placeholder becomes it and moves under the root.
        results.AddNTFSDir(Ntfs("Photos", 60, 5, false));
        results.AddNTFSDir(Ntfs("b", 62, 5, false));
        results.AddNTFSDir(Ntfs("A", 63, 5, false));
        QCOMPARE(guitest::DumpTree(model),
                 (QStringList{". [4]", "  A [0]", "  b [0]", "  Photos [4]", "    inner [0]"}));
        QVERIFY(placeholder.isValid());
        QCOMPARE(placeholder.data().toString(), QString("Photos"));
        QCOMPARE(placeholder.parent(), model.index(0, 0));
        QCOMPARE(TResultsTreeModel::NodeOf(placeholder)->Data().Files.size(), 1u);
        // The root was expanded by the engine when its first folder came.
        QVERIFY(!expanded.isEmpty());
        QCOMPARE(expanded.front().at(0).toModelIndex(), model.index(0, 0));
        QVERIFY(expanded.front().at(1).toBool());
        QVERIFY(model.ExpansionAllowed());

        results.Clear();
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!placeholder.isValid());
    }

    void theFilteredCopyIsRebuiltAndItsNamesCanBeEdited()
    {
        TFoundFileModel results;
        TResultsTreeModel full(results.Tree(), false);
        TResultsTreeModel filtered(results.FilterTree(), true);
        QAbstractItemModelTester tester(&filtered, QAbstractItemModelTester::FailureReportingMode::QtTest);
        TFileInfo root;
        root.Name = ".";
        TTreeNode* top = results.AddDirRecord(root, nullptr);
        TFileInfo gone;
        gone.Name = "?IR1";
        gone.Deleted = true;
        results.AddDirRecord(gone, top);
        TFileInfo kept;
        kept.Name = "KEPT";
        results.AddDirRecord(kept, top);

        QSignalSpy reset(&filtered, &TResultsTreeModel::treeReset);
        results.BuildFilterTree();
        QVERIFY(!reset.isEmpty());
        QCOMPARE(guitest::DumpTree(filtered), (QStringList{". [4]", "  ?IR1 [2]"}));

        // The root keeps its "." (the recovery knows the root by it); other
        // folders can be renamed, but not to nothing; the full tree cannot.
        const QModelIndex rootCopy = filtered.index(0, 0);
        const QModelIndex dirCopy = filtered.index(0, 0, rootCopy);
        QVERIFY(!(filtered.flags(rootCopy) & Qt::ItemIsEditable));
        QVERIFY(filtered.flags(dirCopy) & Qt::ItemIsEditable);
        QVERIFY(!(full.flags(full.index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(!filtered.setData(dirCopy, QString("   ")));
        QVERIFY(filtered.setData(dirCopy, QString(" DIR1 ")));
        QCOMPARE(TResultsTreeModel::NodeOf(dirCopy)->Text(), std::string("DIR1"));
        QCOMPARE(dirCopy.data().toString(), QString("DIR1"));
        QCOMPARE(full.index(0, 0, full.index(0, 0)).data().toString(), QString("?IR1"));
    }
};

QTEST_MAIN(TreeModelTest)
#include "TreeModelTest.moc"
