#include "WizardTestSupport.h"

#include "salvage/recover/BrokenName.h"
#include "salvage/wizard/RecoverW.h"
#include "tests/support/Md5.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace salvage;
using namespace wizardtest;
namespace fs = std::filesystem;

namespace {

class TRecordingRestoreSink final : public TRecoverWSink {
public:
    void CurrentFile(const std::string& name) override { Names.push_back(name); }
    void Progress(int) override {}
    void Restored(std::uint64_t item) override { Items.push_back(item); }
    void TargetFailed(const std::string& message) override { Failed.push_back(message); }
    void Done(const TRestoreSummary& summary) override
    {
        ++DoneCount;
        Summary = summary;
    }

    std::vector<std::string> Names;
    std::vector<std::uint64_t> Items;
    std::vector<std::string> Failed;
    TRestoreSummary Summary;
    int DoneCount = 0;
};

// Counts the questions and answers them as the command-line tool would.
class TCountingQuestion final : public TBrokenNameQuestion {
public:
    explicit TCountingQuestion(TFixedBrokenNameAnswer::Mode mode, char symbol = '_') : answer_(mode, symbol) {}
    TBrokenNameAnswer Ask(const std::string& name) override
    {
        ++Asked;
        return answer_.Ask(name);
    }
    int Asked = 0;

private:
    TFixedBrokenNameAnswer answer_;
};

// Every row of a search as a restore item (the row's index is its key).
TRestoreRun RunOf(const TSearchRun& search, const std::string& target, const std::vector<std::string>& roots = {})
{
    TRestoreRun run;
    run.Target = target;
    for (std::size_t i = 0; i < search.Sink.Rows.size(); ++i) {
        const TWizardRow& row = search.Sink.Rows[i];
        run.Items.push_back({row.File, row.RecoveryPath, row.Drive, i});
    }
    for (std::size_t d = 0; d < search.Search->Drives().size(); ++d)
        run.Drives.push_back({search.Search->Drives()[d].Letter, d < roots.size() ? roots[d] : std::string(),
                              search.Search->Volumes()[d]});
    return run;
}

class WizardRestore : public ::testing::Test {
protected:
    void SetUp() override { out_ = testdata::MakeTempDir("kestrel-wizard-restore"); }
    void TearDown() override { fs::remove_all(out_); }

    std::string Md5Of(const std::string& relative) const
    {
        return testdata::Md5Hex(testdata::ReadFileBytes(out_ + "/" + relative));
    }
    TRestoreSummary Restore(TRestoreRun run, TBrokenNameQuestion& question, TRecordingRestoreSink& sink) const
    {
        TRecoverW worker(std::move(run), sink, question);
        worker.Start();
        worker.Wait();
        return worker.Summary();
    }

    std::string out_;
};

const std::map<std::string, std::string> kNtfsKey = {
    {"res1.dat", "9036637712b491904cd0bfbdbe648453"},  {"sing1.dat", "59b20779f69ff9f0ac5fcd2c38835a79"},
    {"mult1.dat", "ffd27bd782bdce67750b6b9ee069d2ef"}, {"frag1.dat", "7a3bc5b763bef201202108f4ba128149"},
    {"frag2.dat", "0e80ab84ef0087e60dfc67b88a1cf13e"}, {"mult2.dat", "59cf0e9cd107bc1e75afb7374f6e05bb"},
    {"frag3.dat", "21121699487f3fbbdb9a4b3391b6d3e0"}, {"sing2.dat", "c229626f6a71b167ad7e50c4f2fccdb1"},
};

} // namespace

TEST_F(WizardRestore, BothReferenceImagesIntoOneFolderMatchTheAnswerKeys)
{
    const auto search = Search({ReferenceFat(), ReferenceNtfs()});
    ASSERT_EQ(search->Sink.Rows.size(), 14u);
    TRecordingRestoreSink sink;
    TCountingQuestion question(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRestoreSummary summary = Restore(RunOf(*search, out_ + "/new/level"), question, sink);
    out_ += "/new/level";
    EXPECT_EQ(sink.DoneCount, 1);
    EXPECT_EQ(summary.Restored, 14u);
    EXPECT_TRUE(summary.NotWritten.empty());
    EXPECT_EQ(sink.Items.size(), 14u);
    // Four broken FAT names were asked about (the entries in the deleted
    // folder are intact).
    EXPECT_EQ(question.Asked, 4);
    for (const auto& [name, md5] : kNtfsKey)
        EXPECT_EQ(Md5Of(name), md5) << name;
    // The FAT files, fragmented ones included, as the search placed them.
    EXPECT_EQ(Md5Of("_ING.DAT"), "59b20779f69ff9f0ac5fcd2c38835a79");
    EXPECT_EQ(Md5Of("_ULT1.DAT"), "ffd27bd782bdce67750b6b9ee069d2ef");
    EXPECT_EQ(Md5Of("MULT2.DAT"), "59cf0e9cd107bc1e75afb7374f6e05bb");
    EXPECT_EQ(Md5Of("_RAG1.DAT"), "7a3bc5b763bef201202108f4ba128149");
    EXPECT_EQ(Md5Of("_RAG2.DAT"), "0e80ab84ef0087e60dfc67b88a1cf13e");
    EXPECT_EQ(Md5Of("FRAG3.DAT"), "21121699487f3fbbdb9a4b3391b6d3e0");
}

TEST_F(WizardRestore, ASecondRestoreOfTheSameFilesReplacesNothing)
{
    const auto search = Search({ReferenceNtfs()});
    TCountingQuestion question(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TRecordingRestoreSink first, second;
    Restore(RunOf(*search, out_), question, first);
    testdata::WriteFileBytes(out_ + "/sing1.dat", {1, 2, 3});
    const TRestoreSummary again = Restore(RunOf(*search, out_), question, second);
    EXPECT_EQ(again.Restored, 8u);
    EXPECT_EQ(again.Renamed, 8u);
    EXPECT_EQ(testdata::ReadFileBytes(out_ + "/sing1.dat"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(Md5Of("sing1 (2).dat"), kNtfsKey.at("sing1.dat"));
    EXPECT_EQ(Md5Of("frag3 (2).dat"), kNtfsKey.at("frag3.dat"));
}

TEST_F(WizardRestore, OriginalFoldersBelowTheMountPoint)
{
    const auto search = Search({ReferenceFat(), ReferenceNtfs()});
    TCountingQuestion question(TFixedBrokenNameAnswer::Mode::RenameAll, '#');
    TRecordingRestoreSink sink;
    const std::string fatRoot = out_ + "/fat", ntfsRoot = out_ + "/ntfs";
    fs::create_directories(fatRoot);
    fs::create_directories(ntfsRoot);
    const TRestoreSummary summary = Restore(RunOf(*search, {}, {fatRoot, ntfsRoot}), question, sink);
    EXPECT_EQ(summary.Restored, 14u);
    // A folder whose record was reused: "MFT " and the record's number.
    EXPECT_EQ(Md5Of("ntfs/MFT 37/sing2.dat"), kNtfsKey.at("sing2.dat"));
    EXPECT_EQ(Md5Of("ntfs/dir1/dir2/frag3.dat"), kNtfsKey.at("frag3.dat"));
    EXPECT_EQ(Md5Of("ntfs/res1.dat"), kNtfsKey.at("res1.dat"));
    // "?" of a deleted folder's short name becomes "_".
    EXPECT_EQ(Md5Of("fat/_IR1/DIR2/FRAG3.DAT"), "21121699487f3fbbdb9a4b3391b6d3e0");
    EXPECT_TRUE(fs::exists(out_ + "/fat/_IR1/MULT2.DAT"));
    EXPECT_EQ(Md5Of("fat/#ING.DAT"), "59b20779f69ff9f0ac5fcd2c38835a79");
    // "Rename All" was asked once for the whole run.
    EXPECT_EQ(question.Asked, 1);
}

TEST_F(WizardRestore, AnUnmountedVolumeHasNoOriginalFolder)
{
    const auto search = Search({ReferenceNtfs()});
    TCountingQuestion question(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TRecordingRestoreSink sink;
    const TRestoreSummary summary = Restore(RunOf(*search, {}), question, sink);
    EXPECT_EQ(summary.Restored, 0u);
    ASSERT_EQ(summary.NotWritten.size(), 8u);
    EXPECT_NE(summary.NotWritten[0].Message.find("not mounted"), std::string::npos);
    EXPECT_TRUE(sink.Items.empty());
    EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(WizardRestore, ATargetThatCannotBeMadeWritesNothing)
{
    const auto search = Search({ReferenceNtfs()});
    testdata::WriteFileBytes(out_ + "/file", {0});
    TCountingQuestion question(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TRecordingRestoreSink sink;
    TRecoverW worker(RunOf(*search, out_ + "/file/below"), sink, question);
    worker.Start();
    worker.Wait();
    EXPECT_EQ(sink.Failed, std::vector<std::string>{kFolderNotCreated});
    EXPECT_EQ(sink.DoneCount, 0);
    EXPECT_TRUE(sink.Items.empty());
}

TEST_F(WizardRestore, SkipAllHoldsForTheWholeRun)
{
    const auto search = Search({ReferenceFat()});
    TCountingQuestion question(TFixedBrokenNameAnswer::Mode::SkipAll);
    TRecordingRestoreSink sink;
    const TRestoreSummary summary = Restore(RunOf(*search, out_), question, sink);
    EXPECT_EQ(question.Asked, 1);
    EXPECT_EQ(summary.Restored, 2u);  // FRAG3.DAT and MULT2.DAT, whose names are whole
    EXPECT_EQ(summary.NotWritten.size(), 4u);
    EXPECT_TRUE(fs::exists(out_ + "/FRAG3.DAT"));
}

TEST_F(WizardRestore, AReusedRecordIsNotWritten)
{
    const auto search = Search({ReferenceNtfs()});
    TRestoreRun run = RunOf(*search, out_);
    // A record found under an older sequence number: it holds another file now.
    for (TLFInfo& item : run.Items)
        item.File.FullRef += 1ull << 48;
    TCountingQuestion question(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TRecordingRestoreSink sink;
    const TRestoreSummary summary = Restore(std::move(run), question, sink);
    EXPECT_EQ(summary.Restored, 0u);
    EXPECT_EQ(summary.NotWritten.size(), 8u);
    EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(WizardRestore, NamesFromTheDiskStayBelowTheMountPoint)
{
    const auto search = Search({ReferenceNtfs()});
    const std::string root = out_ + "/root";
    fs::create_directories(root);
    TRestoreRun run = RunOf(*search, {}, {root});
    run.Items.resize(1);
    run.Items[0].Path = "N:\\..\\..\\escape\\";
    TCountingQuestion question(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TRecordingRestoreSink sink;
    EXPECT_EQ(Restore(std::move(run), question, sink).Restored, 1u);
    // Only the root folder was written into.
    std::vector<std::string> outside;
    for (const auto& e : fs::directory_iterator(out_))
        outside.push_back(e.path().filename().string());
    EXPECT_EQ(outside, std::vector<std::string>{"root"});
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(root))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1u);
}

TEST(WizardRestorePaths, OriginalFoldersOfARecoveryPath)
{
    EXPECT_EQ(OriginalFolders("F:\\?IR1\\DIR2\\"), (std::vector<std::string>{"_IR1", "DIR2"}));
    EXPECT_EQ(OriginalFolders("N:\\MFT 37\\"), (std::vector<std::string>{"MFT 37"}));
    EXPECT_TRUE(OriginalFolders("N:\\").empty());
    // Names that would climb out stay names (the target folder makes them safe).
    EXPECT_EQ(OriginalFolders("N:\\..\\a\\\\b"), (std::vector<std::string>{"..", "a", "b"}));
}
