// A look at a found file before it is recovered: Space or the list's pop-up
// menu opens the preview, which reads the file through the recovery into
// memory and shows a picture, a text or the bytes, with the file's
// condition and whether the bytes are known to be right.
#include "salvage/recover/dialogs/uPreview.h"
#include "salvage/ui/Strings.h"
#include "salvage/ui/uListModel.h"
#include "salvage/ui/uMain.h"
#include "salvage/ui/uTreeModel.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"
#include "tests/ui/GuiSupport.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <filesystem>

using namespace salvage;
using namespace salvage::ui;

namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

std::vector<std::uint8_t> Bytes(const QByteArray& data)
{
    return {data.begin(), data.end()};
}

} // namespace

class PreviewTest : public QObject {
    Q_OBJECT

    std::string dir_;
    std::string image_;
    std::vector<std::uint8_t> png_, text_, binary_;
    std::unique_ptr<guitest::TEnvironment> env_;
    std::unique_ptr<guitest::TMessageScript> messages_;

    std::unique_ptr<TFrmMain> Analysed(const QString& image)
    {
        auto window = std::make_unique<TFrmMain>(env_->Seams());
        guitest::ShowAndActivate(*window);
        if (!window->AddVolume(image))
            return nullptr;
        QSignalSpy done(window.get(), &TFrmMain::searchDone);
        QTest::keyClick(window.get(), Qt::Key_F5);
        if (!done.wait(20000) && done.count() == 0)
            return nullptr;
        return window;
    }

    // Makes the list row of `name` the current one; its index, or an invalid one.
    static QModelIndex SelectRow(TFrmMain& window, const QString& name)
    {
        for (int row = 0; row < window.ListModel->RowCount(); ++row)
            if (QString::fromStdString(window.ListModel->RowName(row)) == name) {
                const QModelIndex index = window.ListModel->index(row, 0);
                window.LstVwList->setFocus();
                window.LstVwList->setCurrentIndex(index);
                return index;
            }
        return {};
    }

    // Holds every read of the window's preview at its start; `held` names
    // the last one (valid while the preview is Reading).
    static void HoldReads(TFrmMain& window, TFoundFileRead*& held)
    {
        window.frmPreview->ReadStarting = [&held](TFoundFileRead& read) {
            read.Suspend();
            held = &read;
        };
    }
    // Makes the main window the active one again once a preview has gone
    // (the offscreen platform leaves a hidden window active).
    static bool Activate(TFrmMain& window)
    {
        window.activateWindow();
        return QTest::qWaitFor([&window] { return QApplication::activeWindow() == &window; });
    }
    static bool PreviewHeld(TFrmMain& window, const QString& name)
    {
        if (!Activate(window) || !SelectRow(window, name).isValid())
            return false;
        QTest::keyClick(window.LstVwList, Qt::Key_Space);
        return window.frmPreview->isVisible() && window.frmPreview->Reading();
    }

private slots:
    void initTestCase()
    {
        // A FAT12 volume made by mkfs.fat and mtools: a picture and a text,
        // both deleted, and a live binary file.
        dir_ = testdata::MakeTempDir("kestrel-preview");
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::white);
        {
            QPainter painter(&picture);
            painter.fillRect(8, 8, 30, 20, Qt::darkBlue);
            painter.setPen(Qt::red);
            painter.drawEllipse(30, 14, 28, 28);
        }
        QVERIFY(picture.save(QString::fromStdString(dir_ + "/PICTURE.PNG"), "PNG"));
        png_ = testdata::ReadFileBytes(dir_ + "/PICTURE.PNG");
        QString lines;
        for (int i = 1; i <= 40; ++i)
            lines += QStringLiteral("Line %1 of the notes: caf\u00e9, na\u00efve, \u00fcber.\r\n").arg(i);
        text_ = Bytes(lines.toUtf8());
        testdata::WriteFileBytes(dir_ + "/NOTES.TXT", text_);
        for (int i = 0; i < 3000; ++i)
            binary_.push_back(static_cast<std::uint8_t>(i % 256));
        testdata::WriteFileBytes(dir_ + "/DATA.BIN", binary_);

        image_ = dir_ + "/preview.img";
        const std::string q = testdata::ShellQuote(dir_);
        const auto made = testdata::RunProcess(
            "export PATH=\"$PATH:/usr/sbin:/sbin\" MTOOLS_SKIP_CHECK=1 && cd " + q +
            " && mkfs.fat -C -F 12 -n PREVIEW preview.img 1440 >/dev/null"
            " && mcopy -i preview.img PICTURE.PNG NOTES.TXT DATA.BIN ::/"
            " && mdel -i preview.img ::/PICTURE.PNG ::/NOTES.TXT");
        QVERIFY2(made.exitCode == 0, made.err.c_str());
    }
    void cleanupTestCase()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    void init()
    {
        env_ = std::make_unique<guitest::TEnvironment>();
        messages_ = std::make_unique<guitest::TMessageScript>();
    }
    void cleanup()
    {
        messages_.reset();
        env_.reset();
    }

    void spaceShowsAPicture()
    {
        auto window = Analysed(QString::fromStdString(image_));
        QVERIFY(window);
        QVERIFY(SelectRow(*window, "?ICTURE.PNG").isValid());
        window->LstVwList->setFocus();
        QTest::keyClick(window->LstVwList, Qt::Key_Space);
        TFrmPreview& preview = *window->frmPreview;
        QVERIFY(preview.isVisible());
        QTRY_VERIFY(!preview.Reading());
        QCOMPARE(preview.windowTitle(), QString("Preview - ?ICTURE.PNG"));
        QCOMPARE(preview.View(), TPreviewView::Picture);
        QCOMPARE(preview.Read().Bytes, png_);
        QCOMPARE(preview.imgPicture->pixmap().size(), QSize(64, 48));
        QCOMPARE(preview.imgPicture->pixmap().toImage().pixelColor(20, 15), QColor(Qt::darkBlue));
        // Deleted, its clusters free: one run that nothing else claims.
        QCOMPARE(preview.lblState->text(), QString("Deleted file   Condition: Good"));
        QCOMPARE(preview.lblTrust->text(), Text(text::kPreviewOneRun));
        QVERIFY(!preview.lblTrust->font().bold());
        QVERIFY(preview.lblNote->text().contains("Picture, 64 x 48"));
        QVERIFY(messages_->Shown.empty());

        // Escape closes it, and the bytes go with it.
        QTest::keyClick(&preview, Qt::Key_Escape);
        QVERIFY(!preview.isVisible());
        QCOMPARE(preview.View(), TPreviewView::None);
        QVERIFY(preview.Read().Bytes.empty());
    }

    void thePopupMenuShowsAText()
    {
        auto window = Analysed(QString::fromStdString(image_));
        QVERIFY(window);
        const QModelIndex row = SelectRow(*window, "?OTES.TXT");
        QVERIFY(row.isValid());
        QTreeView& list = *window->LstVwList;
        const QPoint at = list.visualRect(row).center();
        QTest::mouseClick(list.viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, list.viewport()->mapToGlobal(at));
        QApplication::sendEvent(list.viewport(), &request);
        QMenu& menu = *window->LstPopupMenu;
        QTRY_VERIFY(menu.isVisible());
        QStringList entries;
        for (const QAction* action : menu.actions())
            entries << action->text();
        QCOMPARE(entries, (QStringList{"&Recover files...", "Pre&view"}));
        QVERIFY(window->actPreview->isEnabled());
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(window->actPreview).center());
        QTRY_VERIFY(window->frmPreview->isVisible());
        TFrmPreview& preview = *window->frmPreview;
        QTRY_VERIFY(!preview.Reading());
        QCOMPARE(preview.View(), TPreviewView::Text);
        QCOMPARE(preview.memText->toPlainText(),
                 QString::fromUtf8(reinterpret_cast<const char*>(text_.data()), static_cast<qsizetype>(text_.size()))
                     .replace("\r\n", "\n"));
        QCOMPARE(preview.lblTrust->text(), Text(text::kPreviewOneRun));
        QVERIFY(preview.lblNote->text().startsWith("Text"));
        preview.close();
    }

    void aBinaryFileIsShownAsBytes()
    {
        auto window = Analysed(QString::fromStdString(image_));
        QVERIFY(window);
        QVERIFY(SelectRow(*window, "DATA.BIN").isValid());
        QTest::keyClick(window->LstVwList, Qt::Key_Space);
        TFrmPreview& preview = *window->frmPreview;
        QVERIFY(preview.isVisible());
        QTRY_VERIFY(!preview.Reading());
        QCOMPARE(preview.View(), TPreviewView::Hex);
        QCOMPARE(preview.Read().Bytes, binary_);
        const QAbstractItemModel& lines = *preview.lstHex->model();
        QCOMPARE(lines.rowCount(), (3000 + 15) / 16);
        QCOMPARE(lines.index(0, 0).data().toString(),
                 QString("00000000  00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  ................"));
        QCOMPARE(lines.index(4, 0).data().toString(),
                 QString("00000040  40 41 42 43 44 45 46 47  48 49 4A 4B 4C 4D 4E 4F  @ABCDEFGHIJKLMNO"));
        // The last line holds 3000 - 187 x 16 = 8 bytes.
        QCOMPARE(lines.index(187, 0).data().toString(),
                 QString("00000BB0  B0 B1 B2 B3 B4 B5 B6 B7                           ........"));
        // A live file: its chain records where its data lies.
        QCOMPARE(preview.lblState->text(), QString("File (not deleted)   Condition: not assessed"));
        QCOMPARE(preview.lblTrust->text(), Text(text::kPreviewRecorded));
        preview.close();
    }

    void whetherTheBytesAreKnownRight()
    {
        // NTFS: the data runs are recorded.
        {
            auto window = Analysed(QString::fromStdString(testdata::ReferenceNtfsImage()));
            QVERIFY(window);
            QVERIFY(SelectRow(*window, "frag1.dat").isValid());
            QTest::keyClick(window->LstVwList, Qt::Key_Space);
            TFrmPreview& preview = *window->frmPreview;
            QVERIFY(preview.isVisible());
            QTRY_VERIFY(!preview.Reading());
            QCOMPARE(preview.lblTrust->text(), Text(text::kPreviewRecorded));
            QCOMPARE(preview.Read().Bytes.size(), std::size_t{1584});
            preview.close();
        }
        // FAT, where the spans of fragmented files cross: another placement
        // was possible, said in bold.
        auto window = Analysed(QString::fromStdString(testdata::ReferenceFatImage()));
        QVERIFY(window);
        for (const char* name : {"?ULT1.DAT", "?RAG2.DAT"}) {
            QVERIFY(Activate(*window));
            QVERIFY(SelectRow(*window, name).isValid());
            QTest::keyClick(window->LstVwList, Qt::Key_Space);
            TFrmPreview& preview = *window->frmPreview;
            QVERIFY(preview.isVisible());
            QTRY_VERIFY(!preview.Reading());
            QVERIFY(!BytesKnownRight(preview.Read().Trust));
            QVERIFY(preview.lblTrust->text() == Text(text::kPreviewAmbiguous) ||
                    preview.lblTrust->text() == Text(text::kPreviewGapped));
            QVERIFY(preview.lblTrust->font().bold());
            preview.close();
        }
        // A folder row is not previewed.
        QVERIFY(Activate(*window));
        QVERIFY(SelectRow(*window, "?IR1").isValid());
        QVERIFY(window->ListModel->IsFolderRow(window->LstVwList->currentIndex().row()));
        QTest::keyClick(window->LstVwList, Qt::Key_Space);
        QVERIFY(!window->frmPreview->isVisible());
    }

    void theWindowsKeepRunningWhileAFileIsRead()
    {
        auto window = Analysed(QString::fromStdString(image_));
        QVERIFY(window);
        TFoundFileRead* held = nullptr;
        HoldReads(*window, held);
        QVERIFY(PreviewHeld(*window, "?ICTURE.PNG"));
        TFrmPreview& preview = *window->frmPreview;
        QCOMPARE(preview.windowTitle(), QString("Preview - ?ICTURE.PNG"));
        QCOMPARE(preview.lblState->text(), QString("Deleted file   Condition: Good"));
        QCOMPARE(preview.lblNote->text(), Text(text::kPreviewReading));
        QCOMPARE(preview.View(), TPreviewView::None);
        // The event loop runs: a timer fires, the list follows its keys.
        bool fired = false;
        QTimer::singleShot(0, &preview, [&fired] { fired = true; });
        QTRY_VERIFY(fired);
        QTest::keyClick(window->LstVwList, Qt::Key_Home);
        QCOMPARE(window->LstVwList->currentIndex().row(), 0);
        QTest::keyClick(window->LstVwList, Qt::Key_End);
        QCOMPARE(window->LstVwList->currentIndex().row(), window->ListModel->RowCount() - 1);
        // Let go, the read's end arrives and the file is shown.
        held->Resume();
        QTRY_COMPARE(preview.View(), TPreviewView::Picture);
        QVERIFY(!preview.Reading());
        QCOMPARE(preview.Read().Bytes, png_);
        QVERIFY(preview.lblNote->text().contains("Picture, 64 x 48"));
        preview.close();
    }

    void closeEscapeOrAnotherPreviewStopTheRead()
    {
        auto window = Analysed(QString::fromStdString(image_));
        QVERIFY(window);
        TFrmPreview& preview = *window->frmPreview;
        TFoundFileRead* held = nullptr;
        HoldReads(*window, held);
        QVERIFY(PreviewHeld(*window, "DATA.BIN"));
        QTest::mouseClick(preview.btnClose, Qt::LeftButton);
        QVERIFY(!preview.isVisible());
        QVERIFY(!preview.Reading());
        QVERIFY(PreviewHeld(*window, "DATA.BIN"));
        QTest::keyClick(&preview, Qt::Key_Escape);
        QVERIFY(!preview.isVisible());
        QVERIFY(!preview.Reading());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(preview.View(), TPreviewView::None);
        QVERIFY(!preview.Read().Read);

        // A second preview replaces a held one: the reader is free for it,
        // and the first one's file never shows.
        QVERIFY(PreviewHeld(*window, "DATA.BIN"));
        preview.ReadStarting = nullptr;
        QVERIFY(Activate(*window));
        QVERIFY(SelectRow(*window, "?OTES.TXT").isValid());
        QTest::keyClick(window->LstVwList, Qt::Key_Space);
        QTRY_COMPARE(preview.View(), TPreviewView::Text);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(preview.View(), TPreviewView::Text);
        QCOMPARE(preview.Read().Bytes, text_);
        QCOMPARE(preview.windowTitle(), QString("Preview - ?OTES.TXT"));
        QVERIFY(messages_->Shown.empty());
        preview.close();
    }

    void analyzeRecoverAndCloseEndTheReadFirst()
    {
        auto window = Analysed(QString::fromStdString(image_));
        QVERIFY(window);
        TFrmPreview& preview = *window->frmPreview;
        TFoundFileRead* held = nullptr;
        HoldReads(*window, held);
        // A new analysis replaces the results the read names.
        QVERIFY(PreviewHeld(*window, "DATA.BIN"));
        QSignalSpy searched(window.get(), &TFrmMain::searchDone);
        QTest::keyClick(window.get(), Qt::Key_F5);
        QVERIFY(!preview.Reading());
        QVERIFY(!preview.isVisible());
        QVERIFY(searched.wait(20000) || searched.count() > 0);
        QVERIFY(window->ListModel->RowCount() > 0);

        // A recovery leases the reader the held read had.
        QVERIFY(PreviewHeld(*window, "DATA.BIN"));
        const std::string target = dir_ + "/recovered";
        QSignalSpy recovered(window.get(), &TFrmMain::recoveryDone);
        window->StartRecovery(QString::fromStdString(target), true, false);
        QVERIFY(!preview.Reading());
        QVERIFY(recovered.wait(20000) || recovered.count() > 0);
        QCOMPARE(testdata::ReadFileBytes(target + "/DATA.BIN"), binary_);

        // Closing asks nothing about a preview: the read ends, the window goes.
        QVERIFY(PreviewHeld(*window, "DATA.BIN"));
        messages_->Shown.clear();
        QVERIFY(window->close());
        QVERIFY(!preview.Reading());
        QVERIFY(messages_->Shown.empty());
    }

    void cutFilesAndFailedReadsSaySo()
    {
        TFrmPreview preview;
        TFileInfo file;
        file.Name = "big.log";
        file.Size = 20u << 20;
        file.Deleted = true;
        file.Condition = kPoor;
        TFoundFileBytes read;
        read.Read = true;
        read.Cut = true;
        read.FileSize = file.Size;
        read.Bytes.assign(kPreviewBytes, 'x');
        // Cut inside a two-byte character: still text.
        read.Bytes[kPreviewBytes - 1] = 0xC3;
        preview.ShowBytes(file, read);
        QCOMPARE(preview.View(), TPreviewView::Text);
        QCOMPARE(preview.lblState->text(), QString("Deleted file   Condition: Bad"));
        QVERIFY(preview.lblNote->text().contains(QString("Only the first 16.00 Mb of 20.00 Mb are shown.")));

        TFoundFileBytes failed;
        failed.Problem = kReaderBusy;
        preview.ShowBytes(file, failed);
        QCOMPARE(preview.View(), TPreviewView::None);
        QCOMPARE(preview.lblNote->text(), Text(text::kPreviewNothing) + "\n" + kReaderBusy);
        QVERIFY(preview.lblTrust->text().isEmpty());

        TFoundFileBytes part;
        part.Read = true;
        part.Problem = "Cluster 9 cannot be read: 512 of 2048 bytes recovered.";
        part.Bytes.assign(512, 0);
        preview.ShowBytes(file, part);
        QCOMPARE(preview.View(), TPreviewView::Hex);
        QVERIFY(preview.lblNote->text().endsWith(QString::fromStdString(part.Problem)));

        TFoundFileBytes empty;
        empty.Read = true;
        preview.ShowBytes(file, empty);
        QCOMPARE(preview.View(), TPreviewView::Text);
        QVERIFY(preview.lblNote->text().contains(Text(text::kPreviewEmpty)));
    }

    void whatCountsAsText()
    {
        QString text;
        const auto bytes = [](const QByteArray& b) { return std::vector<std::uint8_t>(b.begin(), b.end()); };
        QVERIFY(DecodeAsText(bytes("plain\ttext\r\nline\f\x1A"), false, text));
        QCOMPARE(text, QString("plain\ttext\r\nline\f\x1A"));
        QVERIFY(DecodeAsText(bytes("\xEF\xBB\xBF" "caf\xC3\xA9"), false, text));
        QCOMPARE(text, QString::fromUtf8("caf\xC3\xA9"));
        // A character cut by the end of the file is wrong unless the bound cut it.
        QVERIFY(!DecodeAsText(bytes("caf\xE2\x82"), false, text));
        QVERIFY(DecodeAsText(bytes("caf\xE2\x82"), true, text));
        QCOMPARE(text, QString("caf"));
        // UTF-16 with its mark, either order.
        QVERIFY(DecodeAsText(bytes(QByteArray("\xFF\xFEh\0i\0", 6)), false, text));
        QCOMPARE(text, QString("hi"));
        QVERIFY(DecodeAsText(bytes(QByteArray("\xFE\xFF\0h\0i", 6)), false, text));
        QCOMPARE(text, QString("hi"));
        // An 8-bit text of before UTF-8.
        QVERIFY(DecodeAsText(bytes("na\xEFve caf\xE9 and more words"), false, text));
        QCOMPARE(text, QString::fromUtf8("na\xC3\xAFve caf\xC3\xA9 and more words"));
        // Control characters make bytes.
        QVERIFY(!DecodeAsText(bytes(QByteArray("MZ\x90\0\3\0", 6)), false, text));
        QVERIFY(!DecodeAsText(bytes("text\x01with a control"), false, text));
        QVERIFY(!DecodeAsText(bytes(QByteArray("\xFF\xFEh\0\1\0", 6)), false, text));
        // Mostly high bytes are no 8-bit text.
        QVERIFY(!DecodeAsText(bytes("\xC8\xE9\xF0\xA7\xB5\xD2\xE1"), false, text));
    }
};

QTEST_MAIN(PreviewTest)
#include "PreviewTest.moc"
