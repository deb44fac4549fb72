// The source of a recovery is only ever read: after an analysis and a full
// recovery the image's bytes and modification time are what they were, an
// image without write permission works, and every descriptor of it is open
// for reading only.

#include "RecoveryTestSupport.h"
#include "tests/support/Md5.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace salvage;
using namespace recovertest;
namespace fs = std::filesystem;

namespace {

struct Snapshot {
    std::string md5;
    struct timespec mtime {};
};

Snapshot Take(const std::string& path)
{
    Snapshot s;
    s.md5 = testdata::Md5Hex(testdata::ReadFileBytes(path));
    struct stat st {};
    EXPECT_EQ(0, stat(path.c_str(), &st));
    s.mtime = st.st_mtim;
    return s;
}

// The access modes of this process's open descriptors of `path`, read from
// /proc (this also holds for root, whom a missing write permission does not stop).
std::vector<int> OpenModes(const std::string& path)
{
    std::vector<int> modes;
    const fs::path wanted = fs::canonical(path);
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(fd.path(), ec) != wanted)
            continue;
        std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
        for (std::string key; info >> key;) {
            if (key == "flags:") {
                std::string octal;
                info >> octal;
                modes.push_back(static_cast<int>(std::stol(octal, nullptr, 8)) & O_ACCMODE);
            }
        }
    }
    return modes;
}

class SourceUntouched : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(SourceUntouched, AnalysisAndRecoveryOnlyReadTheImage)
{
    const std::string dir = testdata::MakeTempDir("kestrel-source");
    const std::string image = dir + "/volume.img";
    fs::copy_file(GetParam(), image);
    ASSERT_EQ(0, chmod(image.c_str(), 0444)) << "no write permission on the source";
    const Snapshot before = Take(image);

    auto v = Analyse(image);
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, dir + "/out", true), sink, answer);
    EXPECT_GT(s.FilesWritten, 0u);
    EXPECT_TRUE(s.OpenError.empty()) << s.OpenError;
    // The analysis still holds the image open, for reading only.
    const std::vector<int> modes = OpenModes(image);
    EXPECT_FALSE(modes.empty()) << "the analysis keeps the image open";
    for (const int mode : modes)
        EXPECT_EQ(mode, O_RDONLY) << "the image is open for writing";
    v.reset();

    const Snapshot after = Take(image);
    EXPECT_EQ(after.md5, before.md5);
    EXPECT_EQ(after.mtime.tv_sec, before.mtime.tv_sec);
    EXPECT_EQ(after.mtime.tv_nsec, before.mtime.tv_nsec);
    chmod(image.c_str(), 0644);
    fs::remove_all(dir);
}

namespace {

std::string ImageName(const ::testing::TestParamInfo<std::string>& param)
{
    static const char* const kNames[] = {"ReferenceFat", "Fat12", "Fat32", "ReferenceNtfs", "Ntfs4k"};
    return kNames[param.index];
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Images, SourceUntouched,
                         ::testing::Values(testdata::ReferenceFatImage(), testdata::FatVolume("fat12").image,
                                           testdata::FatVolume("fat32").image, testdata::ReferenceNtfsImage(),
                                           testdata::NtfsVolume("ntfs4k").image),
                         ImageName);
