// Names taken from a hostile disk cannot lead a recovery out of its folder:
// images whose entries are named "..", "../../x" or contain "/" recover only
// inside the chosen folder, under names with those characters replaced.

#include "RecoveryTestSupport.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace salvage;
using namespace recovertest;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Utf16(const std::string& ascii)
{
    std::vector<std::uint8_t> bytes;
    for (const char c : ascii) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    return bytes;
}

// Renames an NTFS entry in place: every $FILE_NAME value (in its record and
// in its folder's index) holding `from` gets `to`, of the same length.
int RenameNtfs(std::vector<std::uint8_t>& image, const std::string& from, const std::string& to)
{
    const auto needle = Utf16(from);
    const auto replacement = Utf16(to);
    int count = 0;
    for (auto it = image.begin(); (it = std::search(it, image.end(), needle.begin(), needle.end())) != image.end();
         ++it) {
        // The name follows its length (in characters) and its namespace byte.
        if (it - image.begin() >= 2 && *(it - 2) == from.size()) {
            std::copy(replacement.begin(), replacement.end(), it);
            ++count;
        }
    }
    return count;
}

// Everything below `root`, as paths relative to it.
std::vector<std::string> Listing(const std::string& root)
{
    std::vector<std::string> paths;
    for (const auto& e : fs::recursive_directory_iterator(root))
        paths.push_back(fs::relative(e.path(), root).string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

class HostileNames : public ::testing::Test {
protected:
    void SetUp() override { dir_ = testdata::MakeTempDir("kestrel-hostile"); }
    void TearDown() override { fs::remove_all(dir_); }

    TRecoverySummary RecoverAll(const std::string& image)
    {
        auto v = Analyse(image);
        EXPECT_TRUE(v);
        if (!v)
            return {};
        RecordingSink sink;
        TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
        return RunJob(*v, AllTopLevelJob(*v, dir_ + "/out", true), sink, answer);
    }

    std::string dir_;
};

} // namespace

TEST_F(HostileNames, NtfsNamesThatClimbOrSplitStayInside)
{
    const auto vol = testdata::NtfsVolume("ntfs4k");
    auto image = testdata::ReadFileBytes(vol.image);
    ASSERT_GE(RenameNtfs(image, "README.TXT", "../../x/yz"), 1);
    ASSERT_GE(RenameNtfs(image, "small.txt", "a/b/c.txt"), 1);
    ASSERT_GE(RenameNtfs(image, "er", ".."), 1);  // the folder Docs/Deep/er
    const std::string hostile = dir_ + "/hostile.img";
    testdata::WriteFileBytes(hostile, image);

    const TRecoverySummary s = RecoverAll(hostile);
    for (const auto& f : s.Failures)
        ADD_FAILURE() << f.Path << ": " << f.Message;
    EXPECT_EQ(testdata::ReadFileBytes(dir_ + "/out/.._.._x_yz"), testdata::ReadFileBytes(vol.source + "/README.TXT"));
    EXPECT_EQ(testdata::ReadFileBytes(dir_ + "/out/a_b_c.txt"), testdata::ReadFileBytes(vol.source + "/small.txt"));
    EXPECT_EQ(testdata::ReadFileBytes(dir_ + "/out/Docs/Deep/__/still/deeper/leaf.bin"),
              testdata::ReadFileBytes(vol.source + "/Docs/Deep/er/still/deeper/leaf.bin"));
    // Nothing beside the output folder but the image itself.
    std::vector<std::string> top;
    for (const auto& e : fs::directory_iterator(dir_))
        top.push_back(e.path().filename().string());
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<std::string>{"hostile.img", "out"}));
    EXPECT_FALSE(fs::exists(dir_ + "/x"));
}

TEST_F(HostileNames, FatShortNameWithASlash)
{
    const auto vol = testdata::FatVolume("fat16");
    auto image = testdata::ReadFileBytes(vol.image);
    const std::string from = "README  TXT";
    const std::string to = "A/B     TXT";
    auto it = std::search(image.begin(), image.end(), from.begin(), from.end());
    ASSERT_NE(it, image.end());
    std::copy(to.begin(), to.end(), it);
    const std::string hostile = dir_ + "/hostile.img";
    testdata::WriteFileBytes(hostile, image);

    // No FAT driver writes a slash into a short name: the slot is passed
    // over as no entry, and nothing is written for it anywhere.
    const TRecoverySummary s = RecoverAll(hostile);
    EXPECT_TRUE(s.Failures.empty());
    EXPECT_GE(s.FilesWritten, 7u);
    EXPECT_FALSE(fs::exists(dir_ + "/out/A_B.TXT"));
    EXPECT_FALSE(fs::exists(dir_ + "/out/A"));
    EXPECT_FALSE(fs::exists(dir_ + "/out/README.TXT"));
    for (const std::string& p : Listing(dir_ + "/out"))
        EXPECT_EQ(p.find(".."), std::string::npos) << p;
}

// The system reads a name only up to a NUL, so a folder named "..", NUL, "x"
// would be the parent folder; the NUL is replaced like a separator.
TEST_F(HostileNames, NtfsNameWithANulCannotClimb)
{
    const auto vol = testdata::NtfsVolume("ntfs4k");
    auto image = testdata::ReadFileBytes(vol.image);
    ASSERT_GE(RenameNtfs(image, "Docs", std::string("..\0x", 4)), 1);
    ASSERT_GE(RenameNtfs(image, "GONE.TXT", std::string("..\0\0\0\0\0\0", 8)), 1);
    const std::string hostile = dir_ + "/hostile.img";
    testdata::WriteFileBytes(hostile, image);

    RecoverAll(hostile);
    EXPECT_EQ(testdata::ReadFileBytes(dir_ + "/out/.._x/report 2024.doc"),
              testdata::ReadFileBytes(vol.source + "/Docs/report 2024.doc"));
    EXPECT_TRUE(fs::is_regular_file(dir_ + "/out/..______"));
    std::vector<std::string> top;
    for (const auto& e : fs::directory_iterator(dir_))
        top.push_back(e.path().filename().string());
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<std::string>{"hostile.img", "out"}));
}
