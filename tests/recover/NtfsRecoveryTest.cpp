#include "RecoveryTestSupport.h"
#include "salvage/fs/NTFS.h"
#include "tests/support/Md5.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace salvage;
using namespace recovertest;
namespace fs = std::filesystem;

namespace {

class NtfsRecovery : public ::testing::Test {
protected:
    void SetUp() override { out_ = testdata::MakeTempDir("kestrel-ntfsrec"); }
    void TearDown() override { fs::remove_all(out_); }


    std::string out_;
};

// `length` bytes of a file from `offset`.
std::vector<std::uint8_t> ReadRange(const std::string& path, std::uint64_t offset, std::size_t length)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::uint8_t> bytes(length);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

} // namespace

TEST_F(NtfsRecovery, ReferenceImageEveryDeletedFileByteExact)
{
    auto v = Analyse(testdata::ReferenceNtfsImage());
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, out_, false), sink, answer);
    EXPECT_TRUE(s.Failures.empty());
    EXPECT_EQ(s.FilesWritten, 8u);
    const std::map<std::string, std::string> key = {
        {"res1.dat", "9036637712b491904cd0bfbdbe648453"},       {"sing1.dat", "59b20779f69ff9f0ac5fcd2c38835a79"},
        {"mult1.dat", "ffd27bd782bdce67750b6b9ee069d2ef"},      {"frag1.dat", "7a3bc5b763bef201202108f4ba128149"},
        {"frag2.dat", "0e80ab84ef0087e60dfc67b88a1cf13e"},      {"dir1/mult2.dat", "59cf0e9cd107bc1e75afb7374f6e05bb"},
        {"dir1/dir2/frag3.dat", "21121699487f3fbbdb9a4b3391b6d3e0"},
        {"$$folder_37/sing2.dat", "c229626f6a71b167ad7e50c4f2fccdb1"}};
    for (const auto& [path, md5] : key)
        EXPECT_EQ(testdata::Md5Hex(testdata::ReadFileBytes(out_ + "/" + path)), md5) << path;
    EXPECT_FALSE(fs::exists(out_ + "/$MFT")) << "live files stay out without Recover all";
}

class GeneratedNtfsRecovery : public NtfsRecovery, public ::testing::WithParamInterface<const char*> {};

TEST_P(GeneratedNtfsRecovery, LiveAndDeletedFilesByteExact)
{
    const auto vol = testdata::NtfsVolume(GetParam());
    auto v = Analyse(vol.image);
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, out_, true), sink, answer);
    for (const auto& f : s.Failures)
        ADD_FAILURE() << f.Path << ": " << f.Message;
    int live = 0, deleted = 0;
    for (const auto& m : testdata::ReadNtfsManifest(vol.manifest)) {
        const std::string source = vol.source + m.entry.path;
        if (m.entry.directory || !fs::is_regular_file(source))
            continue;
        // Deleted files whose clusters were taken again cannot come back whole.
        if (m.entry.deleted && m.condition != "good")
            continue;
        const std::string target = out_ + m.entry.path;
        if (m.entry.deleted && !fs::exists(target))
            continue; // its record or its folder's record was reused
        ASSERT_TRUE(fs::exists(target)) << m.entry.path;
        EXPECT_EQ(testdata::ReadFileBytes(target), testdata::ReadFileBytes(source)) << m.entry.path;
        ++(m.entry.deleted ? deleted : live);
    }
    EXPECT_GE(live, 10);
    EXPECT_GE(deleted, 6);
    // A named stream is not the file's data: only the main data comes back.
    EXPECT_EQ(testdata::ReadFileBytes(out_ + "/streams.txt"), testdata::ReadFileBytes(vol.source + "/streams.txt"));
}

INSTANTIATE_TEST_SUITE_P(Volumes, GeneratedNtfsRecovery, ::testing::Values("ntfs4k", "ntfs512", "ntfs4kn"));

TEST_F(NtfsRecovery, FilesLargerThanFourGiBComeOutWhole)
{
    const std::string image = testdata::Path("ntfs/ntfshuge.img");
    auto v = Analyse(image);
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, out_, true), sink, answer);
    for (const auto& f : s.Failures)
        ADD_FAILURE() << f.Path << ": " << f.Message;
    struct Big {
        const char* name;
        std::uint64_t dataAt;
        const char* tail;
    };
    for (const Big& big : {Big{"huge.bin", 5368709120ull, "huge.tail"}, Big{"gone.bin", 4294967296ull, "gone.tail"}}) {
        const std::string path = out_ + "/" + big.name;
        const auto tail = testdata::ReadFileBytes(testdata::Path(std::string("ntfs/ntfshuge.parts/") + big.tail));
        ASSERT_TRUE(fs::exists(path)) << big.name;
        EXPECT_EQ(fs::file_size(path), big.dataAt + tail.size()) << big.name;
        EXPECT_EQ(ReadRange(path, big.dataAt, tail.size()), tail) << big.name;
        EXPECT_EQ(ReadRange(path, big.dataAt - 4096, 4096), std::vector<std::uint8_t>(4096, 0)) << big.name;
        EXPECT_EQ(ReadRange(path, 0, 4096), std::vector<std::uint8_t>(4096, 0)) << big.name;
    }
}

TEST_F(NtfsRecovery, ARecordNowHoldingAnotherFileIsSkipped)
{
    const auto vol = testdata::NtfsVolume("ntfs4k");
    auto v = Analyse(vol.image);
    ASSERT_TRUE(v);
    std::uint32_t reuser = 0;
    for (const auto& m : testdata::ReadNtfsManifest(vol.manifest))
        if (m.entry.path == "/reuser.bin")
            reuser = m.record;
    ASSERT_NE(reuser, 0u);
    // The record of a folder deleted earlier holds /reuser.bin now.
    TFileInfo stale;
    stale.FileRef = reuser;
    stale.Name = "Gone";
    stale.Deleted = true;
    TFileInfo wrongRecord;
    wrongRecord.FileRef = 999999;
    wrongRecord.Name = "missing.txt";
    TResultsTree holder;
    TTreeNode* folder = holder.AddChild(nullptr, "held", NewDirNode());
    holder.AppendFile(*folder, stale);
    holder.AppendFile(*folder, wrongRecord);
    TRecoveryJob job;
    job.TargetPath = out_;
    job.SelectedFiles = {{folder, 0}, {folder, 1}};
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, job, sink, answer);
    EXPECT_EQ(s.Skipped, 2u);
    EXPECT_EQ(s.FilesWritten, 0u);
    EXPECT_TRUE(fs::is_empty(out_)) << "a skipped file creates nothing";
}

namespace {

// Stops the job from its own progress report, once the copy is under way.
class StoppingSink final : public RecordingSink {
public:
    void Progress(int percent) override
    {
        if (percent >= stopAt && thread != nullptr && stoppedAt < 0) {
            stoppedAt = percent;
            thread->RequestStop();
        }
    }
    int stopAt = 30;
    int stoppedAt = -1;
    TThreadRecover* thread = nullptr;
};

} // namespace

TEST_F(NtfsRecovery, StopDuringALargeFileEndsWithinOneCluster)
{
    const auto vol = testdata::NtfsVolume("ntfs512");  // 512-byte clusters: many of them
    auto v = Analyse(vol.image);
    ASSERT_TRUE(v);
    const TPathMatch match = FindByPath(v->model.Tree(), "./Pictures/holiday photo.jpg");
    ASSERT_EQ(match.Files.size(), 1u);
    const std::uint64_t size = match.Files[0].File()->Size;
    TRecoveryJob job;
    job.TargetPath = out_;
    job.SelectedFiles = {match.Files[0], match.Files[0]};
    job.Analysis = v->analysis;
    StoppingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TThreadRecover thread(job, sink, answer);
    sink.thread = &thread;
    thread.Start();
    thread.Wait();
    ASSERT_GE(sink.stoppedAt, 30);
    const std::uint64_t written = fs::file_size(out_ + "/holiday photo.jpg");
    // The report came right after the cluster that reached the percentage.
    EXPECT_LT(written, size);
    EXPECT_LE(written, size * static_cast<std::uint64_t>(sink.stoppedAt + 1) / 100 + 512);
    EXPECT_GE(written * 100 / size, static_cast<std::uint64_t>(sink.stoppedAt));
    EXPECT_EQ(sink.written.size(), 1u) << "the second file is not started";
    EXPECT_EQ(sink.done, 0) << "a stopped job does not report its end";
}
