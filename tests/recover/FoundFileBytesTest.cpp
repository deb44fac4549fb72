// A found file read into memory through the recovery: the same bytes a
// recovery writes, bounded, with how far they can be trusted, and nothing
// on disk.
#include "RecoveryTestSupport.h"
#include "platform/Volume.h"
#include "salvage/recover/FoundFileBytes.h"
#include "tests/support/Md5.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>

using namespace salvage;
using namespace recovertest;
namespace fs = std::filesystem;

namespace {

TFileLocation Locate(const AnalysedVolume& v, const std::string& path)
{
    const TPathMatch match = FindByPath(v.model.Tree(), path);
    EXPECT_EQ(match.Files.size(), 1u) << path;
    return match.Files.empty() ? TFileLocation{} : match.Files.front();
}

std::string Md5(const TFoundFileBytes& read)
{
    return testdata::Md5Hex(read.Bytes);
}

// A disk with a bad spot that fails the first large read once it is armed;
// the reads that follow succeed (slowly, on a real failing disk). Reads
// counts the failed one and those after it.
class TFailingDisk final : public platform::Volume {
public:
    explicit TFailingDisk(platform::VolumePtr inner) : inner_(std::move(inner)) {}
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (Armed && !failed_ && out.size() > 4096) {
            failed_ = true;
            ++Reads;
            if (OnFailure)
                OnFailure();
            return false;
        }
        if (failed_)
            ++Reads;
        return inner_->ReadAt(offset, out);
    }
    std::uint64_t Size() const override { return inner_->Size(); }
    void Arm()
    {
        failed_ = false;
        Reads = 0;
        Armed = true;
    }

    std::atomic<bool> Armed{false};
    mutable std::atomic<int> Reads{0};
    std::function<void()> OnFailure;

private:
    platform::VolumePtr inner_;
    mutable std::atomic<bool> failed_{false};
};

} // namespace

TEST(FoundFileBytes, FatReferenceFilesComeOutAsTheRecoveryWritesThem)
{
    auto v = Analyse(testdata::ReferenceFatImage());
    ASSERT_TRUE(v);
    // One cluster that nothing else claims: one run, known right.
    const TFoundFileBytes single = ReadFoundFile(v->analysis, Locate(*v, "./?ING.DAT"));
    EXPECT_TRUE(single.Read);
    EXPECT_TRUE(single.Problem.empty()) << single.Problem;
    EXPECT_FALSE(single.Cut);
    EXPECT_EQ(single.Bytes.size(), single.FileSize);
    EXPECT_EQ(Md5(single), "59b20779f69ff9f0ac5fcd2c38835a79");
    EXPECT_EQ(single.Trust, TBytesTrust::OneRun);
    EXPECT_TRUE(BytesKnownRight(single.Trust));

    // Several clusters in a row, right, but on this volume the spans of the
    // fragmented files cross theirs: another placement was possible, and
    // the read says so as the recovery does.
    for (const auto& [path, md5] : {std::pair{"./?ULT1.DAT", "ffd27bd782bdce67750b6b9ee069d2ef"},
                                    std::pair{"./?IR1/MULT2.DAT", "59cf0e9cd107bc1e75afb7374f6e05bb"}}) {
        SCOPED_TRACE(path);
        const TFoundFileBytes read = ReadFoundFile(v->analysis, Locate(*v, path));
        EXPECT_TRUE(read.Read);
        EXPECT_TRUE(read.Problem.empty()) << read.Problem;
        EXPECT_EQ(read.Bytes.size(), read.FileSize);
        EXPECT_EQ(Md5(read), md5);
        EXPECT_EQ(read.Trust, TBytesTrust::Ambiguous);
        EXPECT_FALSE(BytesKnownRight(read.Trust));
    }
}

TEST(FoundFileBytes, FragmentedFatFilesAreNotKnownRight)
{
    auto v = Analyse(testdata::ReferenceFatImage());
    ASSERT_TRUE(v);
    // Gathered around the clusters of other files: the right bytes here,
    // but the volume does not record that they are.
    const TFoundFileBytes gaps = ReadFoundFile(v->analysis, Locate(*v, "./?RAG1.DAT"));
    EXPECT_TRUE(gaps.Read);
    EXPECT_EQ(Md5(gaps), "7a3bc5b763bef201202108f4ba128149");
    EXPECT_FALSE(BytesKnownRight(gaps.Trust));
    EXPECT_TRUE(gaps.Trust == TBytesTrust::Gapped || gaps.Trust == TBytesTrust::Ambiguous);

    // Taken as one run, the same file comes out wrong, as every tool that
    // assumes contiguous clusters gets it; one run is all that can be said.
    const TFoundFileBytes run =
        ReadFoundFile(v->analysis, Locate(*v, "./?RAG1.DAT"), kPreviewBytes, TFatClusterRule::Consecutive);
    EXPECT_EQ(Md5(run), "c4f3b9a0f17d464f4fc61b94ecf6cc21");
    EXPECT_NE(run.Trust, TBytesTrust::Gapped);
}

TEST(FoundFileBytes, NtfsFilesFollowTheirDataRuns)
{
    auto v = Analyse(testdata::ReferenceNtfsImage());
    ASSERT_TRUE(v);
    for (const auto& [path, md5] : {std::pair{"./frag1.dat", "7a3bc5b763bef201202108f4ba128149"},
                                    std::pair{"./res1.dat", "9036637712b491904cd0bfbdbe648453"},
                                    std::pair{"./mult1.dat:ADS", "ba1b9eedb1c091ddca253d35dde8f616"},
                                    std::pair{"./dir1/dir2/frag3.dat", "21121699487f3fbbdb9a4b3391b6d3e0"}}) {
        SCOPED_TRACE(path);
        const TFoundFileBytes read = ReadFoundFile(v->analysis, Locate(*v, path));
        EXPECT_TRUE(read.Read);
        EXPECT_TRUE(read.Problem.empty()) << read.Problem;
        EXPECT_EQ(Md5(read), md5);
        EXPECT_EQ(read.Trust, TBytesTrust::Recorded);
    }
}

TEST(FoundFileBytes, OnlyTheStartOfALargerFileIsRead)
{
    for (const auto& [image, path] : {std::pair{testdata::ReferenceNtfsImage(), "./mult1.dat"},
                                      std::pair{testdata::ReferenceNtfsImage(), "./res1.dat"},
                                      std::pair{testdata::ReferenceFatImage(), "./?RAG2.DAT"}}) {
        SCOPED_TRACE(path);
        auto v = Analyse(image);
        ASSERT_TRUE(v);
        const TFileLocation location = Locate(*v, path);
        const TFoundFileBytes whole = ReadFoundFile(v->analysis, location);
        ASSERT_TRUE(whole.Read);
        ASSERT_GT(whole.Bytes.size(), 60u);
        // A bound inside the first cluster and one past it.
        for (const std::uint64_t bound : {std::uint64_t{60}, std::uint64_t{whole.Bytes.size() - 1}}) {
            const TFoundFileBytes part = ReadFoundFile(v->analysis, location, bound);
            EXPECT_TRUE(part.Read);
            EXPECT_TRUE(part.Cut);
            EXPECT_TRUE(part.Problem.empty()) << part.Problem;
            EXPECT_EQ(part.FileSize, whole.FileSize);
            ASSERT_EQ(part.Bytes.size(), bound);
            EXPECT_TRUE(std::equal(part.Bytes.begin(), part.Bytes.end(), whole.Bytes.begin()));
        }
        // A bound the file fits in cuts nothing.
        const TFoundFileBytes fits = ReadFoundFile(v->analysis, location, whole.Bytes.size());
        EXPECT_FALSE(fits.Cut);
        EXPECT_EQ(fits.Bytes, whole.Bytes);
    }
}

TEST(FoundFileBytes, LiveFatFilesFollowTheirChainAndNothingReachesTheDisk)
{
    const testdata::GeneratedVolume volume = testdata::FatVolume("fat16");
    auto v = Analyse(volume.image);
    ASSERT_TRUE(v);
    // The read happens with an empty working folder: it stays empty.
    const std::string folder = testdata::MakeTempDir("kestrel-preview");
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    const TFoundFileBytes read = ReadFoundFile(v->analysis, Locate(*v, "./Docs/report 2024.doc"));
    fs::current_path(before);
    EXPECT_TRUE(fs::is_empty(folder));
    fs::remove_all(folder);

    EXPECT_TRUE(read.Read);
    EXPECT_TRUE(read.Problem.empty()) << read.Problem;
    EXPECT_EQ(read.Trust, TBytesTrust::Recorded);
    EXPECT_EQ(read.Bytes, testdata::ReadFileBytes(volume.source + "/Docs/report 2024.doc"));

    // An empty file reads as empty, without a problem.
    const TFoundFileBytes empty = ReadFoundFile(v->analysis, Locate(*v, "./EMPTY.DAT"));
    EXPECT_TRUE(empty.Read);
    EXPECT_TRUE(empty.Problem.empty()) << empty.Problem;
    EXPECT_TRUE(empty.Bytes.empty());
}

TEST(FoundFileBytes, ABusyReaderOrAStaleLocationReadsNothing)
{
    auto v = Analyse(testdata::ReferenceNtfsImage());
    ASSERT_TRUE(v);
    const TFileLocation location = Locate(*v, "./sing1.dat");
    {
        std::string error;
        const TReaderLease lease = v->analysis->LeaseReader(error);
        ASSERT_TRUE(lease);
        const TFoundFileBytes busy = ReadFoundFile(v->analysis, location);
        EXPECT_FALSE(busy.Read);
        EXPECT_TRUE(busy.Bytes.empty());
        EXPECT_EQ(busy.Problem, kReaderBusy);
    }
    // Free again: the same file reads.
    EXPECT_EQ(Md5(ReadFoundFile(v->analysis, location)), "59b20779f69ff9f0ac5fcd2c38835a79");

    TFileLocation stale = location;
    stale.Index = location.Folder->Data().Files.size();
    const TFoundFileBytes gone = ReadFoundFile(v->analysis, stale);
    EXPECT_FALSE(gone.Read);
    EXPECT_FALSE(gone.Problem.empty());
}

TEST(FoundFileBytes, AStopEndsTheReadOfAFailingDiskAtItsNextRead)
{
    for (const testdata::GeneratedVolume& volume : {testdata::FatVolume("fat16"), testdata::NtfsVolume("ntfs512")}) {
        SCOPED_TRACE(volume.image);
        platform::OpenError openError;
        platform::VolumePtr image = platform::OpenVolumeReadOnly(volume.image, openError);
        ASSERT_TRUE(image);
        const auto disk = std::make_shared<TFailingDisk>(std::move(image));
        AnalysedVolume v;
        TLogicalDisk logical;
        logical.DevicePath = volume.image;
        std::string error;
        v.analysis = TAnalysis::Open(logical, disk, error);
        ASSERT_TRUE(v.analysis) << error;
        TAnalysisOptions options;
        options.EstimateCondition = false;
        ASSERT_TRUE(v.analysis->Run(v.model, options, {}, error)) << error;
        const TFileLocation photo = Locate(v, "./Pictures/holiday photo.jpg");

        // Read through: the failed large read is retried cluster by cluster.
        disk->Arm();
        const TFoundFileBytes whole = ReadFoundFile(v.analysis, photo);
        EXPECT_EQ(whole.Bytes, testdata::ReadFileBytes(volume.source + "/Pictures/holiday photo.jpg"));
        EXPECT_GT(disk->Reads.load(), 3);

        // Stopped at the failure, nothing more is read, and the read has no end.
        TFoundFileRead read(v.analysis, photo);
        disk->OnFailure = [&read] { read.RequestStop(); };
        disk->Arm();
        std::atomic<bool> ended{false};
        read.Start([&ended] { ended = true; });
        read.Wait();
        EXPECT_FALSE(ended.load());
        EXPECT_EQ(disk->Reads.load(), 1);
    }
}
