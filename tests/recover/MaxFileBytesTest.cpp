// A job's MaxFileBytes bounds every file it writes, on FAT as on NTFS, for
// resident and non-resident data alike: what is written is the start of the
// file. (A FAT entry claiming gigabytes once made a bounded run write them.)

#include "RecoveryTestSupport.h"
#include "salvage/disk/Messages.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace salvage;
using namespace recovertest;
namespace fs = std::filesystem;

namespace {

class MaxFileBytes : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(MaxFileBytes, EveryFileIsCutAtTheBound)
{
    constexpr std::uint64_t kBound = 150;  // below the size of small resident files
    const MessageHook previous = SetMessageHook([](const std::string&, MessageIcon) {});
    auto v = Analyse(GetParam());
    ASSERT_TRUE(v);
    const std::string dir = testdata::MakeTempDir("kestrel-maxbytes");
    TRecoveryJob whole;
    whole.TargetPath = dir + "/whole";
    for (std::size_t i = 0; i < v->model.Tree().TopLevelCount(); ++i)
        whole.SelectedFolders.push_back(v->model.Tree().TopLevel(i));
    TRecoveryJob bounded = whole;
    bounded.TargetPath = dir + "/bounded";
    bounded.MaxFileBytes = kBound;
    RecordingSink wholeSink, boundedSink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    RunJob(*v, whole, wholeSink, answer);
    RunJob(*v, bounded, boundedSink, answer);
    SetMessageHook(previous);

    int cut = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir + "/whole")) {
        if (!entry.is_regular_file())
            continue;
        const std::string relative = fs::relative(entry.path(), dir + "/whole").string();
        SCOPED_TRACE(relative);
        const auto full = testdata::ReadFileBytes(entry.path().string());
        const auto part = testdata::ReadFileBytes(dir + "/bounded/" + relative);
        ASSERT_EQ(part.size(), std::min<std::uint64_t>(full.size(), kBound));
        EXPECT_TRUE(std::equal(part.begin(), part.end(), full.begin()));
        cut += full.size() > kBound;
    }
    EXPECT_GT(cut, 0);
    for (const auto& [path, size] : boundedSink.written)
        EXPECT_LE(size, kBound) << path;
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Volumes, MaxFileBytes,
                         ::testing::Values(testdata::FatVolume("fat12").image, testdata::ReferenceNtfsImage(),
                                           testdata::NtfsVolume("ntfs512").image));
