// Path, process and registry helpers of basekit.
#include "basekit/CRegistry.h"
#include "basekit/EnumProcess.h"
#include "basekit/Paths.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(Paths, AppendPutsExactlyOneSeparatorBetweenTheParts)
{
    const struct {
        const char* path;
        const char* part;
        const char* joined;
    } cases[] = {
        {"/opt/kestrel", "setup", "/opt/kestrel/setup"},
        {"/opt/kestrel/", "setup", "/opt/kestrel/setup"},
        {"/opt/kestrel//", "/setup", "/opt/kestrel/setup"},
        {"", "setup", "setup"},
        {"/", "bin", "/bin"},
        {"/a b", "Drive Sweeper.desktop", "/a b/Drive Sweeper.desktop"},
    };
    for (const auto& c : cases) {
        std::string path = c.path;
        CVPathAppend(path, c.part);
        EXPECT_EQ(path, c.joined) << c.path << " + " << c.part;
    }
}

TEST(Paths, FolderAndFileNameSplitAtTheLastSeparator)
{
    EXPECT_EQ(CVPathFolder("/opt/kestrel/kestrel"), "/opt/kestrel");
    EXPECT_EQ(CVPathFileName("/opt/kestrel/kestrel"), "kestrel");
    EXPECT_EQ(CVPathFolder("/kestrel"), "/");
    EXPECT_EQ(CVPathFolder("kestrel"), "");
    EXPECT_EQ(CVPathFileName("kestrel"), "kestrel");
}

TEST(Paths, TheProgramKnowsItsOwnFolderAndTheFilesThatExist)
{
    std::string folder;
    ASSERT_TRUE(GetAppPath(folder));
    EXPECT_EQ(folder, fs::path(GetAppFile()).parent_path().string());
    EXPECT_TRUE(DoesPathExists(GetAppFile()));
    EXPECT_TRUE(DoesPathExists(folder));
    EXPECT_FALSE(DoesPathExists(folder + "/no such file"));
    EXPECT_FALSE(DoesPathExists(""));
    EXPECT_TRUE(IsOsWinNT());
}

TEST(EnumProcess, TheWalkFindsThisProcessWithItsProgramFile)
{
    CEnumProcess processes;
    const int method = processes.GetSuggestedMethod();
    ASSERT_NE(method, CEnumProcess::ENUM_METHOD_NONE);
    processes.SetMethod(method);
    const CFileIdentity self = IdentifyFile(GetAppFile());
    ASSERT_TRUE(self.valid);
    int seen = 0;
    bool found = false;
    CProcessEntry entry;
    for (bool more = processes.GetProcessFirst(&entry); more; more = processes.GetProcessNext(&entry)) {
        ++seen;
        if (entry.dwPID == static_cast<unsigned long>(::getpid())) {
            found = true;
            EXPECT_EQ(entry.lpFilename, GetAppFile());
            EXPECT_TRUE(entry.program.SameFile(self));
        }
    }
    EXPECT_TRUE(found);
    EXPECT_GT(seen, 1);
    EXPECT_TRUE(IsProcessRunning(static_cast<unsigned long>(::getpid())));
}

TEST(EnumProcess, WithoutAMethodTheWalkIsEmpty)
{
    CEnumProcess processes;
    CProcessEntry entry;
    EXPECT_FALSE(processes.GetProcessFirst(&entry));
    EXPECT_FALSE(processes.GetProcessNext(&entry));
}

TEST(EnumProcess, TwoCopiesOfAFileAreDifferentFiles)
{
    const std::string dir = testdata::MakeTempDir("kestrel-identity");
    const std::string a = dir + "/tool", b = dir + "/tool copy", link = dir + "/tool link";
    testdata::WriteFileBytes(a, {1, 2, 3});
    fs::copy_file(a, b);
    fs::create_symlink(a, link);
    EXPECT_FALSE(IdentifyFile(a).SameFile(IdentifyFile(b)));
    EXPECT_TRUE(IdentifyFile(a).SameFile(IdentifyFile(link)));
    EXPECT_FALSE(IdentifyFile(dir + "/missing").valid);
    fs::remove_all(dir);
}

class CRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = testdata::MakeTempDir("kestrel-basekit-registry");
        platform::SetRegistryFolder(dir_);
    }
    void TearDown() override
    {
        platform::SetRegistryFolder({});
        fs::remove_all(dir_);
    }
    std::string dir_;
};

TEST_F(CRegistryTest, StringsWrittenUnderTheMakersKeyReadBack)
{
    std::string key;
    ReturnCorvaleRegKey(key);
    EXPECT_EQ(key, "Software\\Kestrel");
    key += "\\Update Wizard";

    CRegistry reg;
    EXPECT_EQ(reg.Open(platform::RegRoot::CurrentUser, key, false), 0) << "a missing key is not made without create";
    ASSERT_NE(reg.Open(platform::RegRoot::CurrentUser, key, true), 0);
    EXPECT_TRUE(reg.WriteString("UpdateCheckDate", "12/9/2026 3:22:17 AM"));
    EXPECT_TRUE(reg.WriteDword("Count", 7));
    reg.Close();
    EXPECT_FALSE(reg.IsOpen());

    CRegistry again;
    ASSERT_NE(again.Open(platform::RegRoot::CurrentUser, key, false), 0);
    std::string text;
    EXPECT_TRUE(again.ReadString("UpdateCheckDate", text));
    EXPECT_EQ(text, "12/9/2026 3:22:17 AM");
    EXPECT_FALSE(again.ReadString("Count", text)) << "a number is not a string";
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(again.ReadString("Missing", text));
    unsigned long number = 0;
    EXPECT_TRUE(again.ReadDword("Count", number));
    EXPECT_EQ(number, 7u);
}

TEST_F(CRegistryTest, AClosedKeyNeitherReadsNorWrites)
{
    CRegistry reg;
    std::string text = "kept?";
    EXPECT_FALSE(reg.ReadString("x", text));
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(reg.WriteString("x", "y"));
}

TEST(CorvaleFolders, TheDataFolderLiesUnderXdgDataHomeAndIsMade)
{
    const std::string dir = testdata::MakeTempDir("kestrel-data home");
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
    std::string folder;
    EXPECT_TRUE(ReturnCorvaleAppDataFolder(folder));
    EXPECT_EQ(folder, dir + "/kestrel");
    EXPECT_TRUE(fs::is_directory(folder));
    if (old)
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
    fs::remove_all(dir);
}

} // namespace
