#include "WizardTestSupport.h"

#include "salvage/disk/Bytes.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"
#include "salvage/recover/RecoveryJob.h"
#include "salvage/search/FAT32Search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <set>
#include <tuple>

using namespace salvage;
using namespace wizardtest;

namespace {

std::string Wizard(const std::string& name) { return testdata::Path("wizard/" + name); }

const TWizardRow* Find(const std::vector<TWizardRow>& rows, const std::string& name)
{
    for (const auto& r : rows)
        if (r.File.Name == name)
            return &r;
    return nullptr;
}

std::vector<std::string> Names(const std::vector<TWizardRow>& rows)
{
    std::vector<std::string> names;
    for (const auto& r : rows)
        names.push_back(r.File.Name);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(WizardCriteria, MasksNamesAndParts)
{
    EXPECT_TRUE(MatchCriteria("anything.txt", ""));
    // A mask matches the whole name, in any case.
    EXPECT_TRUE(MatchCriteria("report.DOC", "*.doc"));
    EXPECT_TRUE(MatchCriteria("?ING.DAT", "*.dat"));
    EXPECT_FALSE(MatchCriteria("report.docx", "*.doc"));
    EXPECT_FALSE(MatchCriteria("doc.txt", "*.doc"));
    EXPECT_TRUE(MatchCriteria("frag1.dat", "frag?.dat"));
    EXPECT_FALSE(MatchCriteria("frag10.dat", "frag?.dat"));
    EXPECT_TRUE(MatchCriteria("a.b.c", "*.*"));
    EXPECT_TRUE(MatchCriteria("abcabcabd", "*abc*abd"));
    // Without "*" or "?": a part of the name, in any case.
    EXPECT_TRUE(MatchCriteria("My Report.txt", "rep"));
    EXPECT_TRUE(MatchCriteria("FRAG3.DAT", "frag"));
    EXPECT_FALSE(MatchCriteria("?RAG1.DAT", "frag"));
    EXPECT_FALSE(MatchCriteria("rep", "report"));
    // Letters beyond ASCII fold too; broken UTF-8 is compared as it stands.
    EXPECT_TRUE(MatchCriteria("\xC3\x84RGER.txt", "\xC3\xA4rger"));
    EXPECT_TRUE(MatchCriteria("\xD0\x9F\xD0\xB8\xD1\x81\xD1\x8C\xD0\xBC\xD0\xBE.doc", "\xD0\xBF\xD0\xB8\xD1\x81*"));
    EXPECT_TRUE(MatchCriteria("bad\xFF\xFEname", "\xFF\xFE"));
    EXPECT_FALSE(MatchCriteria("bad\xFFname", "\xFE"));
    // A long mask of stars over a long name ends at once.
    EXPECT_FALSE(MatchCriteria(std::string(5000, 'a'), std::string(200, '*') + "b"));
}

TEST(WizardSizeText, BoundariesBelongToTheSmallerUnit)
{
    EXPECT_EQ(WizardFormatSize(0), "0 bytes");
    EXPECT_EQ(WizardFormatSize(1024), "1024 bytes");
    EXPECT_EQ(WizardFormatSize(1025), "1.00 kb");
    EXPECT_EQ(WizardFormatSize(1048576), "1024.00 kb");
    EXPECT_EQ(WizardFormatSize(1048577), "1.00 Mb");
    EXPECT_EQ(WizardFormatSize(10737418240ull), "10240.00 Mb");
    EXPECT_EQ(WizardFormatSize(10737418241ull), "10.00 Gb");
    EXPECT_EQ(WizardFormatSize(10737418240ull, ','), "10240,00 Mb");
    EXPECT_FALSE(WizardFormatSize(~0ull).empty());
}

TEST(WizardSearch, ReferenceNtfsListsDeletedFilesWithTheirFolders)
{
    const auto run = Search({ReferenceNtfs()});
    const auto& rows = run->Sink.Rows;
    EXPECT_EQ(run->Sink.DoneCount, 1);
    EXPECT_TRUE(run->Sink.Failures.empty());
    EXPECT_EQ(PathsAndNames(rows),
              (std::vector<std::string>{"N:\\<Folder unknown>\\|sing2.dat", "N:\\dir1\\dir2\\|frag3.dat",
                                        "N:\\dir1\\|mult2.dat", "N:\\|frag1.dat", "N:\\|frag2.dat",
                                        "N:\\|mult1.dat", "N:\\|res1.dat", "N:\\|sing1.dat"}));
    // A folder whose record now holds a file: the recovery path names the record.
    const TWizardRow* sing2 = Find(rows, "sing2.dat");
    ASSERT_NE(sing2, nullptr);
    EXPECT_EQ(sing2->RecoveryPath, "N:\\MFT 37\\");
    EXPECT_EQ(sing2->File.FileRef, 38u);
    EXPECT_EQ(sing2->File.Size, 1005u);
    const TWizardRow* frag3 = Find(rows, "frag3.dat");
    ASSERT_NE(frag3, nullptr);
    EXPECT_EQ(frag3->RecoveryPath, frag3->DisplayPath);
    EXPECT_EQ(frag3->File.FileRef, 35u);
    for (const auto& r : rows) {
        EXPECT_TRUE(r.File.Deleted);
        EXPECT_EQ(r.File.Condition, kGood) << r.File.Name;
        EXPECT_GT(r.File.Modified, 0) << r.File.Name;
    }
    // Whole percents of the record count, rising, ending at 100.
    ASSERT_FALSE(run->Sink.Percents.empty());
    EXPECT_TRUE(std::is_sorted(run->Sink.Percents.begin(), run->Sink.Percents.end()));
    EXPECT_EQ(run->Sink.Percents.back(), 100);
}

TEST(WizardSearch, ReferenceFatListsDeletedFilesAndFilesInDeletedFolders)
{
    const auto run = Search({ReferenceFat()});
    EXPECT_EQ(run->Sink.DoneCount, 1);
    EXPECT_EQ(PathsAndNames(run->Sink.Rows),
              (std::vector<std::string>{"F:\\?IR1\\DIR2\\|FRAG3.DAT", "F:\\?IR1\\|MULT2.DAT", "F:\\|?ING.DAT",
                                        "F:\\|?RAG1.DAT", "F:\\|?RAG2.DAT", "F:\\|?ULT1.DAT"}));
    for (const auto& r : run->Sink.Rows) {
        EXPECT_EQ(r.RecoveryPath, r.DisplayPath);
        EXPECT_NE(r.File.FatEntry, kNoFatEntry);
        // Every deleted file of this image has its clusters to itself.
        EXPECT_EQ(r.File.Condition, kGood) << r.File.Name;
    }
}

TEST(WizardSearch, CriteriaOverBothReferenceImages)
{
    TWizardSettings dat = AllFiles();
    dat.Criteria = "*.DAT";
    const auto masks = Search({ReferenceFat(), ReferenceNtfs()}, dat);
    EXPECT_EQ(masks->Sink.Rows.size(), 14u);

    TWizardSettings frag = AllFiles();
    frag.Criteria = "frag";
    const auto parts = Search({ReferenceFat(), ReferenceNtfs()}, frag);
    // The deleted short names have lost their "F": only the intact entry of
    // a file in a deleted folder still holds it.
    EXPECT_EQ(PathsAndNames(parts->Sink.Rows),
              (std::vector<std::string>{"F:\\?IR1\\DIR2\\|FRAG3.DAT", "N:\\dir1\\dir2\\|frag3.dat",
                                        "N:\\|frag1.dat", "N:\\|frag2.dat"}));
    // Drive by drive, in the order given.
    ASSERT_FALSE(parts->Sink.Rows.empty());
    EXPECT_EQ(parts->Sink.Rows.front().Drive, 0u);
    EXPECT_EQ(parts->Sink.Rows.back().Drive, 1u);
}

TEST(WizardSearch, ZeroByteAndPoorFilesAreFilteredOut)
{
    const TWizardDrive drive = ImageDrive("W", Wizard("wizard.img"));
    const auto all = Search({drive});
    EXPECT_EQ(Names(all->Sink.Rows),
              (std::vector<std::string>{"?EPORT.DOC", "?ILLER.BIN", "?MPTY.DAT", "Old report.txt"}));
    const TWizardRow* filler = Find(all->Sink.Rows, "?ILLER.BIN");
    ASSERT_NE(filler, nullptr);
    EXPECT_EQ(filler->File.Condition, kPoor);
    ASSERT_NE(Find(all->Sink.Rows, "?MPTY.DAT"), nullptr);

    TWizardSettings notZero = AllFiles();
    notZero.NotZeroSize = true;
    EXPECT_EQ(Names(Search({drive}, notZero)->Sink.Rows),
              (std::vector<std::string>{"?EPORT.DOC", "?ILLER.BIN", "Old report.txt"}));

    TWizardSettings good = notZero;
    good.GoodOnly = true;
    EXPECT_EQ(Names(Search({drive}, good)->Sink.Rows), (std::vector<std::string>{"?EPORT.DOC", "Old report.txt"}));

    TWizardSettings rep = good;
    rep.Criteria = "REP";
    // "?EPORT.DOC" has lost its "R".
    EXPECT_EQ(Names(Search({drive}, rep)->Sink.Rows), (std::vector<std::string>{"Old report.txt"}));
    rep.Criteria = "*.doc";
    EXPECT_EQ(Names(Search({drive}, rep)->Sink.Rows), (std::vector<std::string>{"?EPORT.DOC"}));
}

TEST(WizardSearch, AnUnreadableDriveIsSkippedAndTheOthersSearched)
{
    const auto dir = testdata::MakeTempDir("kestrel-wizard-bad");
    const std::string text = dir + "/not-a-volume.img";
    testdata::WriteFileBytes(text, std::vector<std::uint8_t>(4096, 0x41));
    const auto run = Search({ImageDrive("X", dir + "/missing.img"), ImageDrive("Y", text), ReferenceNtfs()});
    std::filesystem::remove_all(dir);
    ASSERT_EQ(run->Sink.Failures.size(), 2u);
    EXPECT_EQ(run->Sink.Failures[0].rfind("X: ", 0), 0u) << run->Sink.Failures[0];
    EXPECT_EQ(run->Sink.Failures[1], std::string("Y: ") + kNoSupportedFileSystem);
    EXPECT_EQ(run->Sink.Rows.size(), 8u);
    EXPECT_EQ(run->Sink.DoneCount, 1);
    ASSERT_EQ(run->Search->Volumes().size(), 3u);
    EXPECT_EQ(run->Search->Volumes()[0], nullptr);
    EXPECT_NE(run->Search->Volumes()[2], nullptr);
}

// A sink that asks the search to stop from the worker's own thread, at a
// chosen report: the stop lands at a known point, whatever the timing.
class TStoppingSink final : public TWizardSink {
public:
    enum class At { FirstRows, FatWalk };
    explicit TStoppingSink(At at) : at_(at) {}
    void RowsFound(std::vector<TWizardRow> rows) override
    {
        Rows += rows.size();
        if (at_ == At::FirstRows)
            Search->RequestStop();
    }
    void PathChanged(const std::string& path) override
    {
        // The FAT walk names each folder as it enters it.
        if (Search->StopRequested())
            ++PathsAfterStop;
        else if (at_ == At::FatWalk && path.find("DIR2") != std::string::npos)
            Search->RequestStop();
    }
    void Progress(int) override {}
    void DriveFailed(const std::string&, const std::string&) override {}
    void Done() override { ++DoneCount; }

    TSearchWizard* Search = nullptr;
    std::size_t Rows = 0;
    int DoneCount = 0;
    int PathsAfterStop = 0;

private:
    At at_;
};

TEST(WizardSearch, AStoppedSearchEndsWithoutDone)
{
    // Stopped at its first rows (the NTFS drive first): no later drive is searched.
    TStoppingSink atRows(TStoppingSink::At::FirstRows);
    TSearchWizard search({ReferenceNtfs(), ReferenceFat(), ReferenceNtfs()}, AllFiles(), atRows);
    atRows.Search = &search;
    search.Start();
    search.Wait();
    EXPECT_TRUE(search.Finished());
    EXPECT_EQ(atRows.DoneCount, 0);
    EXPECT_GT(atRows.Rows, 0u);
    EXPECT_LE(atRows.Rows, 8u);
    EXPECT_EQ(search.Volumes()[1], nullptr);

    // Stopped inside the FAT walk: the stop reaches the walk, which ends
    // there; the drive's rows (made once its walk is complete) are not reported.
    TStoppingSink inWalk(TStoppingSink::At::FatWalk);
    TSearchWizard fat({ReferenceFat(), ReferenceNtfs()}, AllFiles(), inWalk);
    inWalk.Search = &fat;
    fat.Start();
    fat.Wait();
    EXPECT_EQ(inWalk.DoneCount, 0);
    EXPECT_EQ(inWalk.Rows, 0u);
    // The walk went no further (it would go on into "System Volume Information").
    EXPECT_EQ(inWalk.PathsAfterStop, 0);
    EXPECT_EQ(fat.Volumes()[1], nullptr);
}

// The wizard lists what the main search lists as deleted files (the file's
// own data; named streams are rows of the main window only).
class WizardAgreesWithMainSearch : public ::testing::TestWithParam<std::string> {};

TEST_P(WizardAgreesWithMainSearch, SameDeletedFiles)
{
    const std::string image = GetParam() == "fat" ? testdata::ReferenceFatImage()
                              : GetParam() == "ntfs" ? testdata::ReferenceNtfsImage()
                                                     : testdata::FatVolume("fat32").image;
    TLogicalDisk disk;
    disk.DevicePath = image;
    std::string error;
    const auto analysis = TAnalysis::Open(disk, error);
    ASSERT_NE(analysis, nullptr) << error;
    TFoundFileModel model;
    TAnalysisOptions options;
    ASSERT_TRUE(analysis->Run(model, options, {}, error)) << error;
    const bool fat = GetParam() != "ntfs";
    if (fat)
        ReviseFatConditions(model.Tree(), *analysis->FatReader(), TFatClusterRule::FreeGaps);
    using Key = std::tuple<std::uint32_t, std::string, std::uint64_t, std::uint8_t>;
    std::multiset<Key> main;
    std::multiset<std::string> mainPaths;
    for (TTreeNode* n = model.Tree().First(); n; n = model.Tree().NextDepthFirst(*n)) {
        for (const TFileInfo& f : n->Data().Files) {
            if (!f.Deleted || f.StreamAt != 0)
                continue;
            main.insert({f.FileRef, f.Name, f.Size, f.Condition});
            if (fat) {
                std::string path = "V:\\";
                for (const std::string& part : NodePath(*n))
                    path += part + "\\";
                if (n->Text() != kRootText)
                    path += n->Text() + "\\";
                mainPaths.insert(path + f.Name);
            }
        }
    }
    const auto run = Search({ImageDrive("V", image)});
    std::multiset<Key> wizard;
    std::multiset<std::string> wizardPaths;
    for (const TWizardRow& r : run->Sink.Rows) {
        wizard.insert({r.File.FileRef, r.File.Name, r.File.Size, r.File.Condition});
        wizardPaths.insert(r.DisplayPath + r.File.Name);
    }
    EXPECT_FALSE(main.empty());
    EXPECT_EQ(wizard, main);
    if (fat) {
        EXPECT_EQ(wizardPaths, mainPaths);
    }
}

INSTANTIATE_TEST_SUITE_P(Volumes, WizardAgreesWithMainSearch, ::testing::Values("fat", "ntfs", "fat32"));

// A worker that drives another one hears of a stop request at once.
TEST(WorkerStopHook, TheRequestReachesTheDrivenWorker)
{
    class TInner final : public TWorkerThread {
    public:
        ~TInner() override { Stop(); }
        void Execute() override
        {
            while (!Terminated())
                std::this_thread::yield();
        }
        void RunHere() { Execute(); }
    };
    class TOuter final : public TWorkerThread {
    public:
        ~TOuter() override { Stop(); }
        std::atomic<int> Hooked{0};
        std::atomic<bool> Running{false};
        TInner Inner;

    protected:
        void Execute() override
        {
            Running = true;
            Inner.RunHere();  // returns only once the stop was passed on
        }
        void StopRequestedHook() noexcept override
        {
            ++Hooked;
            Inner.RequestStop();
        }
    };
    TOuter outer;
    outer.Start();
    while (!outer.Running)
        std::this_thread::yield();
    outer.Stop();
    EXPECT_TRUE(outer.Finished());
    EXPECT_GE(outer.Hooked.load(), 1);
}

// Folders whose parent references run in a circle (dir1 made the child of
// its own child dir2): the walk up ends where the circle closes, as a
// broken chain, and the files below still get a row.
TEST(WizardSearch, AParentCircleEndsAsAnUnknownFolder)
{
    std::vector<std::uint8_t> image = testdata::ReadFileBytes(testdata::ReferenceNtfsImage());
    // Record 33 (dir1), wherever the MFT's runs put it: the record that says so.
    constexpr std::size_t kRecordSize = 1024;
    std::size_t dir1 = 0;
    for (std::size_t off = 0; off + kRecordSize <= image.size() && dir1 == 0; off += kRecordSize)
        if (std::equal(image.begin() + static_cast<std::ptrdiff_t>(off),
                       image.begin() + static_cast<std::ptrdiff_t>(off) + 4, "FILE") &&
            LoadLE32(std::span(image).subspan(off), 0x2C) == 33)
            dir1 = off;
    ASSERT_NE(dir1, 0u);
    int patched = 0;
    std::size_t at = dir1 + LoadLE16(std::span(image).subspan(dir1), 0x14);
    while (at + 8 <= dir1 + kRecordSize) {
        const std::uint32_t type = LoadLE32(std::span(image).subspan(at), 0);
        const std::uint32_t length = LoadLE32(std::span(image).subspan(at), 4);
        if (type == 0xFFFFFFFF || length == 0)
            break;
        if (type == 0x30) {
            const std::size_t value = at + LoadLE16(std::span(image).subspan(at), 0x14);
            // The low 48 bits of the parent reference: record 34 (dir2).
            image[value] = 34;
            for (int i = 1; i < 6; ++i)
                image[value + static_cast<std::size_t>(i)] = 0;
            ++patched;
        }
        at += length;
    }
    ASSERT_GE(patched, 1);
    const std::string dir = testdata::MakeTempDir("kestrel-wizard-circle");
    testdata::WriteFileBytes(dir + "/circle.dd", image);
    auto run = Search({ImageDrive("N", dir + "/circle.dd")});
    EXPECT_EQ(run->Sink.DoneCount, 1);
    const TWizardRow* frag3 = Find(run->Sink.Rows, "frag3.dat");
    ASSERT_NE(frag3, nullptr);
    EXPECT_EQ(frag3->DisplayPath, "N:\\<Folder unknown>\\dir1\\dir2\\");
    EXPECT_EQ(frag3->RecoveryPath, "N:\\MFT 34\\dir1\\dir2\\");
    const TWizardRow* mult2 = Find(run->Sink.Rows, "mult2.dat");
    ASSERT_NE(mult2, nullptr);
    EXPECT_EQ(mult2->DisplayPath, "N:\\<Folder unknown>\\dir2\\dir1\\");
    EXPECT_EQ(mult2->RecoveryPath, "N:\\MFT 33\\dir2\\dir1\\");
    // The rest of the volume is as before.
    EXPECT_EQ(Find(run->Sink.Rows, "sing1.dat")->DisplayPath, "N:\\");
    // The search keeps its volumes open; Windows removes no open file.
    run.reset();
    std::filesystem::remove_all(dir);
}
