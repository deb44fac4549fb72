#include "RecoveryTestSupport.h"
#include "salvage/disk/Messages.h"
#include "tests/support/FatImage.h"
#include "tests/support/Md5.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace salvage;
using namespace recovertest;
namespace fs = std::filesystem;

namespace {

class FatRecovery : public ::testing::Test {
protected:
    void SetUp() override { out_ = testdata::MakeTempDir("kestrel-fatrec"); }
    void TearDown() override { fs::remove_all(out_); }

    std::string Md5Of(const std::string& relative)
    {
        return testdata::Md5Hex(testdata::ReadFileBytes(out_ + "/" + relative));
    }


    std::string out_;
};

// Lowercase 8.3 names are stored (and found, and recovered) upper-case: look
// a manifest path up without regard to case.
std::string FindIgnoringCase(const std::string& root, const std::string& relative)
{
    fs::path at = root;
    std::size_t start = 1;
    while (start <= relative.size()) {
        const std::size_t slash = relative.find('/', start);
        const std::string part = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        bool found = false;
        for (const auto& entry : fs::directory_iterator(at)) {
            const std::string name = entry.path().filename().string();
            if (name.size() == part.size() &&
                std::equal(name.begin(), name.end(), part.begin(), [](char x, char y) {
                    return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
                })) {
                at = entry.path();
                found = true;
                break;
            }
        }
        if (!found)
            return {};
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return at.string();
}

} // namespace

TEST_F(FatRecovery, ReferenceImageMatchesTheAnswerKey)
{
    auto v = Analyse(testdata::ReferenceFatImage());
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, out_, false), sink, answer);
    EXPECT_TRUE(s.Failures.empty());
    EXPECT_EQ(sink.done, 1);
    EXPECT_EQ(s.FilesWritten, 6u);
    EXPECT_EQ(Md5Of("_ING.DAT"), "59b20779f69ff9f0ac5fcd2c38835a79");
    EXPECT_EQ(Md5Of("_ULT1.DAT"), "ffd27bd782bdce67750b6b9ee069d2ef");
    EXPECT_EQ(Md5Of("_IR1/MULT2.DAT"), "59cf0e9cd107bc1e75afb7374f6e05bb");
    // The fragmented ones too: their clusters are the free ones that no
    // other entry claims, handed out by what the dates allow.
    EXPECT_EQ(Md5Of("_RAG1.DAT"), "7a3bc5b763bef201202108f4ba128149");
    EXPECT_EQ(Md5Of("_RAG2.DAT"), "0e80ab84ef0087e60dfc67b88a1cf13e");
    EXPECT_EQ(Md5Of("_IR1/DIR2/FRAG3.DAT"), "21121699487f3fbbdb9a4b3391b6d3e0");
    EXPECT_EQ(fs::file_size(out_ + "/_RAG2.DAT"), 3873u);
    // Interleaved files could have been interleaved otherwise: said, not hidden.
    EXPECT_EQ(sink.placed.at(out_ + "/_ING.DAT"), "gaps");
    EXPECT_EQ(sink.placed.at(out_ + "/_RAG1.DAT"), "gaps ambiguous");
    EXPECT_EQ(s.AmbiguousPlacements, 5u);
    EXPECT_FALSE(fs::exists(out_ + "/FAT_REC_.1")) << "live entries stay out without Recover all";
    EXPECT_TRUE(fs::exists(out_ + "/System Volume Information")) << "deleted folders are created even when empty";
}

TEST_F(FatRecovery, ReferenceImageByTheConsecutiveRule)
{
    auto v = Analyse(testdata::ReferenceFatImage());
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TRecoveryJob job = AllTopLevelJob(*v, out_, false);
    job.FatClusters = TFatClusterRule::Consecutive;
    const TRecoverySummary s = RunJob(*v, job, sink, answer);
    EXPECT_EQ(s.FilesWritten, 6u);
    // The answer key's digests of a recovery that takes the clusters as contiguous.
    EXPECT_EQ(Md5Of("_ING.DAT"), "59b20779f69ff9f0ac5fcd2c38835a79");
    EXPECT_EQ(Md5Of("_ULT1.DAT"), "ffd27bd782bdce67750b6b9ee069d2ef");
    EXPECT_EQ(Md5Of("_IR1/MULT2.DAT"), "59cf0e9cd107bc1e75afb7374f6e05bb");
    EXPECT_EQ(Md5Of("_RAG1.DAT"), "c4f3b9a0f17d464f4fc61b94ecf6cc21");
    EXPECT_EQ(Md5Of("_RAG2.DAT"), "965370acfa85aa7e26ab04bbd45cdcae");
    EXPECT_EQ(Md5Of("_IR1/DIR2/FRAG3.DAT"), "a7a14ac62f79fdea4056ed5e8bcf97ef");
    // Runs that cross where another file starts are flagged.
    EXPECT_EQ(sink.placed.at(out_ + "/_RAG1.DAT"), "consecutive ambiguous");
    EXPECT_EQ(sink.placed.at(out_ + "/_ULT1.DAT"), "consecutive");
}

TEST_F(FatRecovery, RenameAllAndSkipAllOnTheReferenceImage)
{
    auto v = Analyse(testdata::ReferenceFatImage());
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer renameAll(TFixedBrokenNameAnswer::Mode::RenameAll, 'X');
    RunJob(*v, AllTopLevelJob(*v, out_, false), sink, renameAll);
    EXPECT_TRUE(fs::exists(out_ + "/XRAG1.DAT"));
    EXPECT_TRUE(fs::exists(out_ + "/XIR1/DIR2/FRAG3.DAT")) << "folders are renamed too";
    EXPECT_FALSE(fs::exists(out_ + "/_ING.DAT"));

    fs::remove_all(out_);
    fs::create_directories(out_);
    RecordingSink sink2;
    TFixedBrokenNameAnswer skipAll(TFixedBrokenNameAnswer::Mode::SkipAll);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, out_, false), sink2, skipAll);
    EXPECT_EQ(s.FilesWritten, 0u) << "every deleted name in the root lost its first letter";
    EXPECT_FALSE(fs::exists(out_ + "/_IR1")) << "a skipped folder takes its contents with it";
    EXPECT_TRUE(fs::exists(out_ + "/System Volume Information")) << "names without ? are kept";
    EXPECT_GE(s.Skipped, 5u);
}

class GeneratedFatRecovery : public FatRecovery, public ::testing::WithParamInterface<const char*> {};

TEST_P(GeneratedFatRecovery, EveryLiveFileComesOutByteExactWithRecoverAll)
{
    const auto vol = testdata::FatVolume(GetParam());
    auto v = Analyse(vol.image);
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, out_, true), sink, answer);
    for (const auto& f : s.Failures)
        ADD_FAILURE() << f.Path << ": " << f.Message;
    int checked = 0;
    for (const auto& m : testdata::ReadManifest(vol.manifest)) {
        if (m.deleted || m.directory)
            continue;
        const std::string path = FindIgnoringCase(out_, m.path);
        ASSERT_FALSE(path.empty()) << m.path;
        EXPECT_EQ(testdata::ReadFileBytes(path), testdata::ReadFileBytes(vol.source + m.path)) << m.path;
        ++checked;
    }
    EXPECT_GE(checked, 7);
}

TEST_P(GeneratedFatRecovery, DeletedContiguousFilesComeOutByteExact)
{
    const auto vol = testdata::FatVolume(GetParam());
    auto v = Analyse(vol.image);
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    RunJob(*v, AllTopLevelJob(*v, out_, false), sink, answer);
    // Deleted with a long name: the name survives whole.
    const std::string deletedLong = out_ + "/Deleted long name.txt";
    ASSERT_TRUE(fs::exists(deletedLong));
    EXPECT_EQ(testdata::ReadFileBytes(deletedLong), testdata::ReadFileBytes(vol.source + "/Deleted long name.txt"));
    EXPECT_EQ(testdata::ReadFileBytes(out_ + "/_ONE.TXT"), testdata::ReadFileBytes(vol.source + "/GONE.TXT"));
    EXPECT_FALSE(fs::exists(out_ + "/README.TXT")) << "live files stay out";
    EXPECT_TRUE(fs::exists(out_ + "/Pictures")) << "a folder holding a deleted file is created";
    EXPECT_FALSE(fs::exists(out_ + "/Docs")) << "a folder without deleted content is left out";
}

INSTANTIATE_TEST_SUITE_P(Volumes, GeneratedFatRecovery, ::testing::Values("fat12", "fat16", "fat32"));

TEST_F(FatRecovery, RestoreStructureOfFilesSelectedInAFolder)
{
    const auto vol = testdata::FatVolume("fat16");
    auto v = Analyse(vol.image);
    ASSERT_TRUE(v);
    const TPathMatch m = FindByPath(v->model.Tree(), "./Docs/Deep/ER/STILL/DEEPER/LEAF.BIN");
    ASSERT_EQ(m.Files.size(), 1u);
    TRecoverySelection sel;
    sel.SelectedFolder = m.FilesFolder;
    sel.HasListSelection = true;
    sel.ListFiles = m.Files;
    TRecoveryJob job;
    ASSERT_TRUE(BuildRecoveryJob(sel, out_, true, true, job));
    EXPECT_EQ(job.TargetSubfolders, (std::vector<std::string>{"Docs", "Deep", "ER", "STILL", "DEEPER"}));
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    RunJob(*v, job, sink, answer);
    EXPECT_EQ(testdata::ReadFileBytes(out_ + "/Docs/Deep/ER/STILL/DEEPER/LEAF.BIN"),
              testdata::ReadFileBytes(vol.source + "/Docs/Deep/er/still/deeper/leaf.bin"));
}

TEST_F(FatRecovery, APlantedLinkIsNeitherFollowedNorReplaced)
{
    auto v = Analyse(testdata::ReferenceFatImage());
    ASSERT_TRUE(v);
    // A link planted where one recovered file goes: the file goes beside it.
    const std::string outside = testdata::MakeTempDir("kestrel-outside");
    testdata::WriteFileBytes(outside + "/keep", {'k'});
    fs::create_symlink(outside + "/keep", out_ + "/_ING.DAT");
    std::vector<std::string> messages;
    const MessageHook previous =
        SetMessageHook([&](const std::string& text, MessageIcon) { messages.push_back(text); });
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, out_, false), sink, answer);
    SetMessageHook(previous);
    EXPECT_TRUE(s.Failures.empty());
    EXPECT_EQ(s.FilesWritten, 6u);
    EXPECT_EQ(s.FilesRenamed, 1u);
    EXPECT_EQ(Md5Of("_ING (2).DAT"), "59b20779f69ff9f0ac5fcd2c38835a79");
    EXPECT_TRUE(fs::is_symlink(out_ + "/_ING.DAT"));
    EXPECT_EQ(testdata::ReadFileBytes(outside + "/keep"), std::vector<std::uint8_t>{'k'});
    EXPECT_TRUE(messages.empty()) << "the worker reports through its sink, never the message hook";
    fs::remove_all(outside);
}

TEST_F(FatRecovery, AReaderThatCannotBeHadIsReportedInTheSummary)
{
    auto v = Analyse(testdata::ReferenceFatImage());
    ASSERT_TRUE(v);
    std::vector<std::string> messages;
    const MessageHook previous =
        SetMessageHook([&](const std::string& text, MessageIcon) { messages.push_back(text); });
    std::string error;
    const TReaderLease held = v->analysis->LeaseReader(error);  // another worker has the reader
    ASSERT_TRUE(held) << error;
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, out_, false), sink, answer);
    SetMessageHook(previous);
    EXPECT_FALSE(s.OpenError.empty());
    EXPECT_EQ(RecoveryNotices(s), std::vector<std::string>{s.OpenError});
    EXPECT_EQ(s.FilesOnDisk(), 0u);
    EXPECT_EQ(sink.done, 1) << "the job still ends by itself";
    EXPECT_TRUE(messages.empty()) << "the front end shows the error, from the summary";
}

TEST_F(FatRecovery, NothingIsWrittenWhenTheTargetCannotBeMade)
{
    auto v = Analyse(testdata::ReferenceFatImage());
    ASSERT_TRUE(v);
    testdata::WriteFileBytes(out_ + "/file", {1});
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TRecoveryJob job = AllTopLevelJob(*v, out_, false);
    job.TargetPath = out_ + "/file/below";
    const MessageHook previous = SetMessageHook([](const std::string&, MessageIcon) {});
    const TRecoverySummary s = RunJob(*v, job, sink, answer);
    SetMessageHook(previous);
    EXPECT_EQ(s.FilesWritten, 0u);
    ASSERT_EQ(s.Failures.size(), 1u);
    EXPECT_NE(s.Failures[0].Message.find("Not a directory"), std::string::npos) << s.Failures[0].Message;
}

namespace {

class StopOnFirstProgress final : public RecordingSink {
public:
    void Progress(int percent) override
    {
        if (percent > 0 && thread != nullptr && !stopped) {
            stopped = true;
            thread->RequestStop();
        }
    }
    bool stopped = false;
    TThreadRecover* thread = nullptr;
};

} // namespace

TEST_F(FatRecovery, StopDuringAFatFileEndsAfterThatFile)
{
    const auto vol = testdata::FatVolume("fat12");  // 512-byte clusters
    auto v = Analyse(vol.image);
    ASSERT_TRUE(v);
    const TPathMatch big = FindByPath(v->model.Tree(), "./Pictures/holiday photo.jpg");
    const TPathMatch other = FindByPath(v->model.Tree(), "./README.TXT");
    ASSERT_EQ(big.Files.size(), 1u);
    ASSERT_EQ(other.Files.size(), 1u);
    TRecoveryJob job;
    job.TargetPath = out_;
    job.SelectedFiles = {big.Files[0], other.Files[0]};
    job.Analysis = v->analysis;
    StopOnFirstProgress sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TThreadRecover thread(job, sink, answer);
    sink.thread = &thread;
    thread.Start();
    thread.Wait();
    ASSERT_TRUE(sink.stopped);
    EXPECT_EQ(testdata::ReadFileBytes(out_ + "/holiday photo.jpg"),
              testdata::ReadFileBytes(vol.source + "/Pictures/holiday photo.jpg"))
        << "the file under way is finished";
    EXPECT_FALSE(fs::exists(out_ + "/README.TXT")) << "the next one is not started";
    EXPECT_EQ(sink.done, 0);
}

TEST_F(FatRecovery, ALoopingChainOfALiveFileIsCutAndReported)
{
    // A hand-made FAT16 volume: LOOP.BIN claims 100,000 bytes, and its chain
    // runs 2 -> 3 -> 4 -> 3 -> ... for ever.
    testdata::FatImageBuilder b(testdata::SmallFat16());
    b.Put(b.RootOffset(), testdata::ShortEntry("LOOP    BIN", 0x20, 2, 100000));
    b.SetFatEntry(2, 3);
    b.SetFatEntry(3, 4);
    b.SetFatEntry(4, 3);
    for (std::uint32_t c = 2; c <= 4; ++c)
        std::fill_n(b.Bytes().begin() + static_cast<std::ptrdiff_t>(b.ClusterOffset(c)), 512, static_cast<std::uint8_t>(c));
    const std::string image = out_ + "/loop.img";
    testdata::WriteFileBytes(image, b.Bytes());
    auto v = Analyse(image);
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, out_ + "/out", true), sink, answer);
    EXPECT_TRUE(s.Failures.empty());
    ASSERT_EQ(s.PartialFiles.size(), 1u);
    EXPECT_EQ(s.FilesPartial, 1u);
    EXPECT_EQ(s.FilesWritten, 0u);
    EXPECT_NE(s.PartialFiles[0].Message.find("loop"), std::string::npos) << s.PartialFiles[0].Message;
    const auto bytes = testdata::ReadFileBytes(out_ + "/out/LOOP.BIN");
    EXPECT_EQ(s.BytesWritten, bytes.size()) << "the count is what is on disk";
    EXPECT_LT(bytes.size(), 8u * 512) << "cut within a few turns of the loop, not at 100,000 bytes";
    ASSERT_GE(bytes.size(), 3u * 512);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(bytes[512], 3);
    EXPECT_EQ(bytes[1024], 4);
}
