// The Windows target folder: wide-character paths, names Windows cannot
// take, links that are never followed, and paths with one separator.
#include "platform/TargetFolder.h"
#include "tests/support/TestData.h"
#include "tests/windows/WideText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;
using platform::OpenTargetFolder;
using wintest::Wide;

namespace {

class WinTargetFolderTest : public ::testing::Test {
protected:
    void SetUp() override { root_ = testdata::MakeTempDir("kestrel-wintarget"); }
    void TearDown() override { fs::remove_all(root_); }

    static fs::path P(const std::string& utf8) { return fs::path(Wide(utf8)); }

    static std::string Text(const std::string& path)
    {
        std::ifstream in(P(path), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // The names in a folder as the system lists them, in UTF-8.
    static std::set<std::string> Listing(const std::string& folder)
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(P(folder))) {
            const std::wstring name = entry.path().filename().wstring();
            const int n = WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0,
                                              nullptr, nullptr);
            std::string utf8(static_cast<std::size_t>(n), '\0');
            WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), utf8.data(), n, nullptr,
                                nullptr);
            names.insert(utf8);
        }
        return names;
    }

    std::string root_;
};

std::unique_ptr<platform::OutputFile> WriteText(platform::TargetFolder& folder, const std::string& name,
                                                const std::string& text)
{
    std::string error;
    auto file = folder.CreateOutputFile(name, error);
    EXPECT_TRUE(file) << error;
    if (!file)
        return nullptr;
    EXPECT_TRUE(file->Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()})) << file->Error();
    EXPECT_TRUE(file->Close()) << file->Error();
    return file;
}

} // namespace

TEST_F(WinTargetFolderTest, FoldersAndNamesOutsideTheCodePage)
{
    // Missing levels with letters no code page holds, given with both separators.
    std::string error;
    auto target = OpenTargetFolder(root_ + "/Wiederhergestellt – Größe/日本\\", error);
    ASSERT_TRUE(target) << error;
    EXPECT_EQ(target->Path(), root_ + "\\Wiederhergestellt – Größe\\日本") << "one separator, none at the end";
    EXPECT_TRUE(fs::is_directory(P(root_ + "\\Wiederhergestellt – Größe\\日本")));

    auto sub = target->Subfolder("Ordner ß ★", error);
    ASSERT_TRUE(sub) << error;
    EXPECT_TRUE(sub->Created());
    EXPECT_EQ(sub->Path(), target->Path() + "\\Ordner ß ★");
    EXPECT_EQ(sub->ChildPath("x/y"), sub->Path() + "\\x_y");

    const auto first = WriteText(*sub, "Ünïcödé ☃.txt", "first");
    const auto second = WriteText(*sub, "Ünïcödé ☃.txt", "second");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Path(), sub->Path() + "\\Ünïcödé ☃.txt");
    EXPECT_EQ(second->Name(), "Ünïcödé ☃ (2).txt") << "nothing is replaced";
    EXPECT_EQ(Text(first->Path()), "first");
    EXPECT_EQ(Text(second->Path()), "second");
    EXPECT_EQ(Listing(sub->Path()), (std::set<std::string>{"Ünïcödé ☃.txt", "Ünïcödé ☃ (2).txt"}));

    // The same folder opened again is merged into, and known as the same.
    auto again = target->Subfolder("ORDNER ß ★", error);
    ASSERT_TRUE(again) << error;
    EXPECT_FALSE(again->Created()) << "names differ only in case";
    EXPECT_EQ(again->Id(), sub->Id());
}

TEST_F(WinTargetFolderTest, NamesWindowsCannotTakeAreReplaced)
{
    std::string error;
    auto target = OpenTargetFolder(root_, error);
    ASSERT_TRUE(target) << error;
    const auto device = WriteText(*target, "nul.txt", "not the null device");
    const auto refused = WriteText(*target, "a<b>c\"d|e?f*.txt", "refused characters");
    const auto stream = WriteText(*target, "host:stream", "not a stream");
    const auto trailing = WriteText(*target, "dots. .", "trailing");
    ASSERT_TRUE(device && refused && stream && trailing);
    EXPECT_EQ(device->Name(), "nul_.txt");
    EXPECT_EQ(refused->Name(), "a_b_c_d_e_f_.txt");
    EXPECT_EQ(stream->Name(), "host_stream");
    EXPECT_EQ(trailing->Name(), "dots___");
    auto con = target->Subfolder("CON", error);
    ASSERT_TRUE(con) << error;
    const auto inside = WriteText(*con, "COM1", "inside");
    ASSERT_TRUE(inside);
    // Every byte reached a real file of that name.
    EXPECT_EQ(Listing(root_), (std::set<std::string>{"nul_.txt", "a_b_c_d_e_f_.txt", "host_stream", "dots___", "CON_"}));
    EXPECT_EQ(Text(root_ + "\\nul_.txt"), "not the null device");
    EXPECT_EQ(Text(root_ + "\\a_b_c_d_e_f_.txt"), "refused characters");
    EXPECT_EQ(Text(root_ + "\\host_stream"), "not a stream");
    EXPECT_EQ(Text(root_ + "\\CON_\\COM1_"), "inside");
}

TEST_F(WinTargetFolderTest, DiscardRemovesOnlyTheFileItMade)
{
    std::string error;
    auto target = OpenTargetFolder(root_, error);
    ASSERT_TRUE(target) << error;
    auto open = target->CreateOutputFile("gone.bin", error);
    ASSERT_TRUE(open) << error;
    EXPECT_TRUE(open->Discard()) << open->Error();
    EXPECT_FALSE(fs::exists(P(root_ + "\\gone.bin")));
    // Closed, removed, and something else put at the name: that stays.
    auto closed = WriteText(*target, "x.bin", "mine");
    ASSERT_TRUE(closed);
    fs::remove(P(root_ + "\\x.bin"));
    testdata::WriteFileBytes(root_ + "\\x.bin", {'7'});
    EXPECT_TRUE(closed->Discard());
    EXPECT_EQ(Text(root_ + "\\x.bin"), "7");
}

// Links made by the host (Wine shows a host symbolic link as a reparse
// point): "outside\victim.txt", and in "target" the links "file.txt" (to the
// victim), "folder" (to outside) and "dangling" (to nothing).
TEST_F(WinTargetFolderTest, LinksAndReparsePointsAreNeverFollowed)
{
    const char* fixture = std::getenv("KESTREL_LINK_FIXTURE");
    if (!fixture || !*fixture)
        GTEST_SKIP() << "KESTREL_LINK_FIXTURE names no folder with links";
    const std::string base = fixture;
    const DWORD attributes = GetFileAttributesW(Wide(base + "\\target\\folder").c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_NE(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << "the link is a reparse point here";
    const auto outsideBefore = Listing(base + "\\outside");

    std::string error;
    auto target = OpenTargetFolder(base + "\\target", error);
    ASSERT_TRUE(target) << error;
    auto folder = target->Subfolder("folder", error);
    ASSERT_TRUE(folder) << error;
    EXPECT_EQ(folder->Path(), base + "\\target\\folder (2)");
    EXPECT_TRUE(folder->Created());
    const auto file = WriteText(*target, "file.txt", "recovered");
    const auto dangling = WriteText(*target, "dangling", "recovered too");
    const auto inFolder = WriteText(*folder, "victim.txt", "beside, not through");
    ASSERT_TRUE(file && dangling && inFolder);
    EXPECT_EQ(file->Name(), "file (2).txt");
    EXPECT_EQ(dangling->Name(), "dangling (2)");

    EXPECT_EQ(Text(base + "\\outside\\victim.txt"), "keep") << "the link's target is untouched";
    EXPECT_EQ(Listing(base + "\\outside"), outsideBefore) << "nothing was written through a link";
    EXPECT_FALSE(fs::exists(P(base + "\\outside\\nothing")));
}
