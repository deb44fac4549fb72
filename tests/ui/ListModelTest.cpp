// The results list over a hand-made results tree: the rows of a folder,
// each sort mode and its ties, the column clicks and header arrows, rows
// that arrive while the folder is shown, and the date and size texts.
#include "salvage/search/FoundFileModel.h"
#include "salvage/ui/uArtwork.h"
#include "salvage/ui/uFormat.h"
#include "salvage/ui/uListModel.h"
#include "tests/ui/GuiSupport.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>

using namespace salvage;
using namespace salvage::ui;

namespace {

TDateTime Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return EncodeDateTime({y, mo, d, h, mi, s, 0}).value();
}

TFileInfo Record(const std::string& name, std::uint64_t size, std::uint8_t condition, TDateTime modified,
                 TDateTime created, bool deleted = true)
{
    TFileInfo f;
    f.Name = name;
    f.Size = size;
    f.Condition = condition;
    f.Modified = modified;
    f.Created = created;
    f.Deleted = deleted;
    return f;
}

QStringList Names(const TFileListModel& list)
{
    return guitest::ListColumn(list, TFileListModel::ColName);
}

} // namespace

class ListModelTest : public QObject {
    Q_OBJECT

    TFoundFileModel model_;
    TTreeNode* root_ = nullptr;
    TTreeNode* zeta_ = nullptr;

private slots:
    void init()
    {
        model_.Clear();
        TFileInfo dir;
        dir.Name = ".";
        root_ = model_.AddDirRecord(dir, nullptr);
        TFileInfo z = Record("Zeta", 0, kNotAssessed, Date(2022, 3, 1), Date(2022, 3, 1), false);
        zeta_ = model_.AddDirRecord(z, root_);
        model_.AddDirRecord(Record("eta", 0, kNotAssessed, Date(2001, 1, 1), Date(2001, 1, 1)), root_);
        // Added in an order that is none of the sort orders.
        model_.AddFileRecord(Record("gamma.bin", 2001, kNotAssessed, Date(2020, 1, 2, 10), Date(2020, 6, 1)), *root_);
        model_.AddFileRecord(Record("Beta.doc", 500, kPoor, Date(2021, 5, 5, 8, 30), Date(2018, 2, 2)), *root_);
        model_.AddFileRecord(Record("alpha.txt", 2000, kGood, Date(2020, 1, 2, 10), Date(2019, 1, 1)), *root_);
        model_.AddFileRecord(Record("delta", 10, kGood, 0, 0), *root_);
    }

    void rowsOfAFolderWithItsSubfoldersFirst()
    {
        TFileListModel list;
        QAbstractItemModelTester tester(&list);
        list.Follow(model_.Tree());
        list.SetShownFolder(root_);
        QCOMPARE(Names(list), (QStringList{"eta", "Zeta", "alpha.txt", "Beta.doc", "delta", "gamma.bin"}));
        QCOMPARE(list.RowImage(0), kImageDeletedFolder);
        QCOMPARE(list.RowImage(1), kImageFolder);
        QCOMPARE(list.RowImage(2), kImageDeletedFile);
        // Sources: a folder's position among the children, a file's in Files.
        QCOMPARE(list.FolderAt(0)->Text(), std::string("eta"));
        QCOMPARE(list.FolderAt(1), zeta_);
        QCOMPARE(list.RowSource(2), 2);  // alpha.txt was the third file
        QCOMPARE(list.FolderAt(2), nullptr);
        QCOMPARE(guitest::ListColumn(list, TFileListModel::ColSize),
                 (QStringList{"", "", "1.95 kb", "500 bytes", "10 bytes", "1.95 kb"}));
        QCOMPARE(guitest::ListColumn(list, TFileListModel::ColCondition),
                 (QStringList{"", "", "Good", "Bad", "Good", ""}));
    }

    void everySortModeAndItsTies_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("order");
        const QStringList asc{"eta", "Zeta"};
        const QStringList desc{"Zeta", "eta"};
        // Name: the first click turns the initial ascending order round.
        QTest::newRow("name descending") << 0 << 0 << desc + QStringList{"gamma.bin", "delta", "Beta.doc", "alpha.txt"};
        // Size: folders by name; the two files showing "1.95 kb" tie and go by name.
        QTest::newRow("size ascending") << 1 << 3 << asc + QStringList{"delta", "Beta.doc", "alpha.txt", "gamma.bin"};
        QTest::newRow("size descending") << 1 << 2 << asc + QStringList{"alpha.txt", "gamma.bin", "Beta.doc", "delta"};
        // Condition: the first click puts "Good" first, then "Bad", then none.
        QTest::newRow("condition descending")
            << 2 << 5 << asc + QStringList{"alpha.txt", "delta", "Beta.doc", "gamma.bin"};
        QTest::newRow("condition ascending")
            << 2 << 4 << asc + QStringList{"gamma.bin", "Beta.doc", "alpha.txt", "delta"};
        // Dates: the 1899 "no date" first; equal dates go by name.
        QTest::newRow("modified ascending") << 3 << 7 << asc + QStringList{"delta", "alpha.txt", "gamma.bin", "Beta.doc"};
        QTest::newRow("modified descending")
            << 3 << 6 << desc + QStringList{"Beta.doc", "alpha.txt", "gamma.bin", "delta"};
        QTest::newRow("created ascending") << 4 << 9 << asc + QStringList{"delta", "Beta.doc", "alpha.txt", "gamma.bin"};
        QTest::newRow("created descending")
            << 4 << 8 << desc + QStringList{"gamma.bin", "alpha.txt", "Beta.doc", "delta"};
    }

    void everySortModeAndItsTies()
    {
        QFETCH(int, column);
        QFETCH(int, mode);
        QFETCH(QStringList, order);
        TFileListModel list;
        list.Follow(model_.Tree());
        list.SetShownFolder(root_);
        // Click the column until the mode is reached (at most twice).
        list.ColumnClicked(column);
        if (list.SortMode() != mode)
            list.ColumnClicked(column);
        QCOMPARE(list.SortMode(), mode);
        QCOMPARE(Names(list), order);
        for (int c = 0; c < TFileListModel::ColumnCount; ++c) {
            const QVariant arrow = list.headerData(c, Qt::Horizontal, Qt::DecorationRole);
            QCOMPARE(arrow.isValid(), c == column);
        }
        const QIcon arrow = list.headerData(column, Qt::Horizontal, Qt::DecorationRole).value<QIcon>();
        QCOMPARE(arrow.cacheKey(), FileImage(mode % 2 == 0 ? 5 : 6).cacheKey());
    }

    void theFirstClickOnAColumnSortsItsAscendingModeExceptCondition()
    {
        TFileListModel list;
        const int expected[] = {0, 3, 5, 7, 9};  // from mode 1; Name flips to 0
        for (int column = 0; column < TFileListModel::ColumnCount; ++column) {
            list.SetSortMode(1);
            list.ColumnClicked(column);
            QCOMPARE(list.SortMode(), expected[column]);
        }
    }

    void theSelectionFollowsItsRowsThroughASort()
    {
        TFileListModel list;
        list.Follow(model_.Tree());
        list.SetShownFolder(root_);
        QItemSelectionModel selection(&list);
        const int beta = static_cast<int>(Names(list).indexOf("Beta.doc"));
        selection.setCurrentIndex(list.index(beta, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        list.ColumnClicked(TFileListModel::ColSize);
        QCOMPARE(selection.currentIndex().data().toString(), QString("Beta.doc"));
        QCOMPARE(selection.selectedRows().size(), 1);
        QCOMPARE(selection.selectedRows().front().data().toString(), QString("Beta.doc"));
    }

    void rowsArriveSortedWhileTheFolderIsShown()
    {
        TFileListModel list;
        QAbstractItemModelTester tester(&list);
        list.Follow(model_.Tree());
        list.SetShownFolder(root_);
        // A batch: a folder sorted before the others, a file, a deleted file
        // in a subfolder (which gives Zeta... its image).
        model_.AddDirRecord(Record("Alpha", 0, kNotAssessed, 0, 0, false), root_);
        model_.AddFileRecord(Record("aardvark", 1, kNotAssessed, 0, 0, false), *root_);
        // The rows are shown once the batch of reports is over.
        QCOMPARE(list.rowCount(), 6);
        QTRY_COMPARE(list.rowCount(), 8);
        QCOMPARE(Names(list), (QStringList{"Alpha", "eta", "Zeta", "aardvark", "alpha.txt", "Beta.doc", "delta",
                                           "gamma.bin"}));
        // The new sibling moved the others' positions.
        for (int row = 0; row < 3; ++row)
            QCOMPARE(QString::fromStdString(list.FolderAt(row)->Text()), Names(list)[row]);
        QCOMPARE(list.RowImage(3), kImageFile);
    }

    void aFolderRowTakesItsNodesNewImage()
    {
        TFileListModel list;
        list.Follow(model_.Tree());
        list.SetShownFolder(root_);
        QCOMPARE(list.RowImage(1), kImageFolder);
        QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
        model_.AddFileRecord(Record("gone.txt", 5, kGood, 0, 0, true), *zeta_);
        QCOMPARE(zeta_->ImageIndex(), kImageHasDeleted);
        QCOMPARE(list.RowImage(1), kImageHasDeleted);
        QVERIFY(!changed.isEmpty());
        QCOMPARE(list.rowCount(), 6);  // a file in a subfolder is not a row here
    }

    void clearingTheTreeEmptiesTheList()
    {
        TFileListModel list;
        list.Follow(model_.Tree());
        list.SetShownFolder(root_);
        model_.Clear();
        QCOMPARE(list.rowCount(), 0);
        QCOMPARE(list.ShownFolder(), nullptr);
    }

    void aFolderMovedIntoTheShownFolderIsListed()
    {
        // NTFS order: a file of record 40 arrives before its folder (40),
        // whose parent is the root (5).
        TFoundFileModel ntfs;
        TFileInfo root = Record(".", 0, kNotAssessed, 0, 0, false);
        root.FileRef = 5;
        root.ParentRef = 5;
        ntfs.AddNTFSDir(root);
        TFileListModel list;
        list.Follow(ntfs.Tree());
        list.SetShownFolder(ntfs.FindNodeByRef(5));
        TFileInfo file = Record("late.txt", 3, kGood, 0, 0, true);
        file.FileRef = 41;
        file.ParentRef = 40;
        ntfs.AddNTFSFile(file);
        QCOMPARE(ntfs.Tree().TopLevelCount(), 2u);  // "." and "$$folder_40"
        TFileInfo dir = Record("Photos", 0, kNotAssessed, 0, 0, false);
        dir.FileRef = 40;
        dir.ParentRef = 5;
        ntfs.AddNTFSDir(dir);
        QTRY_COMPARE(Names(list), QStringList{"Photos"});
        QCOMPARE(list.FolderAt(0)->Data().Files.size(), 1u);
    }

    void datesInTheUsersFormatWithoutTheTimeAtMidnight()
    {
        const QLocale locale = QLocale::system();
        const QString noDate = locale.toString(QDate(1899, 12, 30), QLocale::ShortFormat);
        QCOMPARE(DateText(0), noDate);
        QCOMPARE(DateText(Date(2004, 2, 29)), locale.toString(QDate(2004, 2, 29), QLocale::ShortFormat));
        const QString withTime = DateText(Date(2004, 2, 29, 13, 5, 9));
        QVERIFY(withTime.startsWith(locale.toString(QDate(2004, 2, 29), QLocale::ShortFormat) + " "));
        QVERIFY2(withTime.contains("05") && withTime.contains("09"), qPrintable(withTime));
        QCOMPARE(TimeFormatWithoutZone("h:mm:ss AP t"), QString("h:mm:ss AP"));
        QCOMPARE(TimeFormatWithoutZone("HH:mm:ss 't'"), QString("HH:mm:ss 't'"));
        // The sort key is the shown text's: a millisecond apart is the same.
        QCOMPARE(DateKey(Date(2004, 2, 29, 13, 5, 9)), DateKey(Date(2004, 2, 29, 13, 5, 9) + 0.4 / 86400000.0));
        QVERIFY(DateKey(0) < DateKey(Date(1980, 1, 1)));
        QCOMPARE(DecimalSeparator(QLocale(QLocale::German)), ',');
    }
};

QTEST_MAIN(ListModelTest)
#include "ListModelTest.moc"
