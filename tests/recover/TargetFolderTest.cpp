#include "platform/TargetFolder.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::OpenTargetFolder;
using platform::SafeComponentName;

namespace {

class TargetFolderTest : public ::testing::Test {
protected:
    void SetUp() override { root_ = testdata::MakeTempDir("kestrel-target"); }
    void TearDown() override { fs::remove_all(root_); }
    std::string root_;
};

bool WriteText(platform::TargetFolder& folder, const std::string& name, const std::string& text)
{
    std::string error;
    auto file = folder.CreateOutputFile(name, error);
    if (!file)
        return false;
    const bool ok = file->Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    return file->Close() && ok;
}

} // namespace

TEST(SafeComponentName, DiskNamesCannotNameAnotherFolder)
{
    EXPECT_EQ(SafeComponentName("."), "_");
    EXPECT_EQ(SafeComponentName(".."), "__");
    EXPECT_EQ(SafeComponentName("../../x"), ".._.._x");
    EXPECT_EQ(SafeComponentName("/etc/passwd"), "_etc_passwd");
    EXPECT_EQ(SafeComponentName(""), "_");
    EXPECT_EQ(SafeComponentName("...txt"), "...txt");
    EXPECT_EQ(SafeComponentName("a\\b", platform::NameRules::Posix), "a\\b") << "an ordinary character here";
}

TEST(SafeComponentName, WindowsRules)
{
    using platform::NameRules;
    EXPECT_EQ(SafeComponentName("..\\..\\x", NameRules::Windows), ".._.._x");
    EXPECT_EQ(SafeComponentName("a:stream", NameRules::Windows), "a_stream");
    EXPECT_EQ(SafeComponentName("...", NameRules::Windows), "___") << "would be \"..\" there";
    EXPECT_EQ(SafeComponentName(".. ", NameRules::Windows), "___");
    EXPECT_EQ(SafeComponentName("name. .", NameRules::Windows), "name___");
    EXPECT_EQ(SafeComponentName("file.txt", NameRules::Windows), "file.txt");
    EXPECT_EQ(SafeComponentName("...", NameRules::Posix), "...") << "a real name on POSIX";
    EXPECT_EQ(SafeComponentName(std::string_view("..\0x", 4)), ".._x") << "the system would stop at the NUL";
}

TEST(SafeComponentName, WindowsRefusedCharactersAndDeviceNames)
{
    using platform::NameRules;
    EXPECT_EQ(SafeComponentName("a<b>c\"d|e?f*g.txt", NameRules::Windows), "a_b_c_d_e_f_g.txt");
    EXPECT_EQ(SafeComponentName("tab\there\x1f", NameRules::Windows), "tab_here_");
    EXPECT_EQ(SafeComponentName("a<b>?*", NameRules::Posix), "a<b>?*") << "ordinary characters on POSIX";
    // Device names, in any case, with or without an extension.
    EXPECT_EQ(SafeComponentName("CON", NameRules::Windows), "CON_");
    EXPECT_EQ(SafeComponentName("nul.txt", NameRules::Windows), "nul_.txt");
    EXPECT_EQ(SafeComponentName("Com1.tar.gz", NameRules::Windows), "Com1_.tar.gz");
    EXPECT_EQ(SafeComponentName("lpt9", NameRules::Windows), "lpt9_");
    EXPECT_EQ(SafeComponentName("AUX .doc", NameRules::Windows), "AUX _.doc") << "blanks before the dot are dropped";
    EXPECT_EQ(SafeComponentName("CONOUT$", NameRules::Windows), "CONOUT$_");
    EXPECT_EQ(SafeComponentName("COM\xC2\xB9", NameRules::Windows), "COM\xC2\xB9_") << "COM with superscript one";
    // Names that only start or end like one are files.
    EXPECT_EQ(SafeComponentName("CONFIG.SYS", NameRules::Windows), "CONFIG.SYS");
    EXPECT_EQ(SafeComponentName("COM10", NameRules::Windows), "COM10");
    EXPECT_EQ(SafeComponentName("my.nul", NameRules::Windows), "my.nul");
    EXPECT_EQ(SafeComponentName("nul", NameRules::Posix), "nul");
}

TEST_F(TargetFolderTest, CreatesMissingLevelsAndStaysInside)
{
    std::string error;
    auto target = OpenTargetFolder(root_ + "/a/b/c/", error);
    ASSERT_TRUE(target) << error;
    auto sub = target->Subfolder("..", error);
    ASSERT_TRUE(sub) << error;
    ASSERT_TRUE(WriteText(*sub, "../escape.txt", "x"));
    EXPECT_TRUE(fs::exists(root_ + "/a/b/c/__/.._escape.txt"));
    EXPECT_FALSE(fs::exists(root_ + "/a/b/escape.txt"));
    EXPECT_EQ(sub->Path(), root_ + "/a/b/c/__");
}

TEST_F(TargetFolderTest, NothingIsReplacedAndFoldersMerge)
{
    EXPECT_EQ(platform::NumberedName(".profile", 2), ".profile (2)") << "a leading dot starts no extension";
    EXPECT_EQ(platform::NumberedName("archive.tar.gz", 3), "archive.tar (3).gz");
    std::string error;
    auto target = OpenTargetFolder(root_, error);
    ASSERT_TRUE(target);
    ASSERT_TRUE(WriteText(*target, "f.txt", "a long first version"));
    fs::create_directory(root_ + "/f (3).txt");  // a later number already taken is skipped
    ASSERT_TRUE(WriteText(*target, "f.txt", "2nd"));
    ASSERT_TRUE(WriteText(*target, "f.txt", "third"));
    EXPECT_EQ(fs::file_size(root_ + "/f.txt"), 20u);
    EXPECT_EQ(fs::file_size(root_ + "/f (2).txt"), 3u);
    EXPECT_EQ(fs::file_size(root_ + "/f (4).txt"), 5u);
    auto first = target->Subfolder("dir", error);
    auto second = target->Subfolder("dir", error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_TRUE(first->Created());
    EXPECT_FALSE(second->Created());
    EXPECT_EQ(second->Id(), first->Id());
}

TEST_F(TargetFolderTest, DiscardRemovesOnlyTheFileItMade)
{
    std::string error;
    auto target = OpenTargetFolder(root_, error);
    auto file = target->CreateOutputFile("gone.bin", error);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Discard());
    EXPECT_FALSE(fs::exists(root_ + "/gone.bin"));
    // Something put at the name after the file was closed stays.
    auto other = target->CreateOutputFile("x.bin", error);
    ASSERT_TRUE(other->Close());
    fs::remove(root_ + "/x.bin");
    testdata::WriteFileBytes(root_ + "/x.bin", {7});
    EXPECT_TRUE(other->Discard());
    EXPECT_EQ(testdata::ReadFileBytes(root_ + "/x.bin"), std::vector<std::uint8_t>{7});
}

TEST_F(TargetFolderTest, PlantedLinksAreNotFollowed)
{
    const std::string outside = root_ + "/outside";
    fs::create_directories(outside);
    testdata::WriteFileBytes(outside + "/victim.txt", {'k', 'e', 'e', 'p'});
    fs::create_directories(root_ + "/target");
    fs::create_symlink(outside + "/victim.txt", root_ + "/target/file.txt");
    fs::create_directory_symlink(outside, root_ + "/target/folder");

    std::string error;
    auto target = OpenTargetFolder(root_ + "/target", error);
    ASSERT_TRUE(target);
    // The links stay as they are; what was to go there goes beside them.
    ASSERT_TRUE(WriteText(*target, "file.txt", "recovered"));
    EXPECT_EQ(fs::file_size(root_ + "/target/file (2).txt"), 9u);
    auto folder = target->Subfolder("folder", error);
    ASSERT_TRUE(folder) << error;
    EXPECT_EQ(folder->Path(), root_ + "/target/folder (2)");
    fs::create_symlink(outside + "/nothing", root_ + "/target/dangling");
    ASSERT_TRUE(WriteText(*target, "dangling", "x"));
    EXPECT_FALSE(fs::exists(outside + "/nothing")) << "a dangling link is not followed either";
    EXPECT_EQ(testdata::ReadFileBytes(outside + "/victim.txt").size(), 4u) << "the link's target is untouched";
}

TEST_F(TargetFolderTest, UnusableTargetsGiveTheSystemMessage)
{
    testdata::WriteFileBytes(root_ + "/plain", {1});
    std::string error;
    EXPECT_FALSE(OpenTargetFolder(root_ + "/plain/sub", error));
    EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
    EXPECT_FALSE(OpenTargetFolder("", error));
    auto target = OpenTargetFolder(root_, error);
    ASSERT_TRUE(target);
    auto beside = target->Subfolder("plain", error);
    ASSERT_TRUE(beside) << "a file stands where the folder would go: it goes beside it";
    EXPECT_EQ(beside->Path(), root_ + "/plain (2)");
    EXPECT_EQ(testdata::ReadFileBytes(root_ + "/plain"), std::vector<std::uint8_t>{1});
}

TEST_F(TargetFolderTest, ZerosAreWrittenInFull)
{
    std::string error;
    auto target = OpenTargetFolder(root_, error);
    auto file = target->CreateOutputFile("zeros.bin", error);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Write(std::vector<std::uint8_t>{1, 2}));
    ASSERT_TRUE(file->WriteZeros(1048576));
    ASSERT_TRUE(file->Write(std::vector<std::uint8_t>{3}));
    ASSERT_TRUE(file->WriteZeros(2 * 1048576 + 14)) << "a hole at the end";
    ASSERT_TRUE(file->Close());
    const auto bytes = testdata::ReadFileBytes(root_ + "/zeros.bin");
    ASSERT_EQ(bytes.size(), 3u * 1048576 + 17);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(bytes[1048578], 3);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<std::ptrdiff_t>(bytes.size() - 3));
}

TEST_F(TargetFolderTest, AFullDiskIsReportedNotIgnored)
{
    // A file-size limit stands in for a full disk: the write past it fails.
    std::string error;
    auto target = OpenTargetFolder(root_, error);
    auto file = target->CreateOutputFile("big.bin", error);
    ASSERT_TRUE(file);
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = old;
    limit.rlim_cur = 4096;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
    const std::vector<std::uint8_t> bytes(8192, 0x5A);
    const bool ok = file->Write(bytes);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(ok);
    EXPECT_NE(file->Error().find("big.bin"), std::string::npos) << file->Error();
    EXPECT_FALSE(file->Close()) << "the failure stays reported";
}
