// The file-backed registry: keys and typed values as the Windows registry
// gives them, and writes that lose nothing (concurrent writers, a writer
// that dies before its rename, a damaged file).
#include "platform/RegFile.h"
#include "platform/Registry.h"
#include "platform/RegistryHooks.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using namespace platform;
namespace fs = std::filesystem;

std::string ReadText(const std::string& path)
{
    const auto bytes = testdata::ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

void WriteText(const std::string& path, const std::string& text)
{
    testdata::WriteFileBytes(path, {text.begin(), text.end()});
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = testdata::MakeTempDir("kestrel-registry");
        SetRegistryFolder(dir_);
        SetRegistryReport([this](const std::string& message) { reports_.push_back(message); });
    }
    void TearDown() override
    {
        SetHiveReplaceHook({});
        SetRegistryReport({});
        SetRegistryFolder({});
        fs::remove_all(dir_);
    }

    [[nodiscard]] std::string Hive(const char* root = "HKEY_CURRENT_USER") const { return dir_ + "/" + root + ".reg"; }

    [[nodiscard]] std::vector<std::string> FilesStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            if (entry.path().filename().string().starts_with(prefix))
                names.push_back(entry.path().string());
        return names;
    }

    std::string dir_;
    std::vector<std::string> reports_;
};

TEST_F(RegistryTest, KeysAndTypedValues)
{
    EXPECT_EQ(OpenRegistryKey(RegRoot::CurrentUser, "Software\\Kestrel", RegOpen::Read), nullptr);
    EXPECT_EQ(OpenRegistryKey(RegRoot::CurrentUser, "Software\\Kestrel", RegOpen::Write), nullptr);
    EXPECT_EQ(OpenRegistryKey(RegRoot::CurrentUser, "Software\\\\Kestrel", RegOpen::Create), nullptr);

    {
        auto key = OpenRegistryKey(RegRoot::CurrentUser, "\\Software\\Kestrel\\App", RegOpen::Create);
        ASSERT_NE(key, nullptr);
        EXPECT_TRUE(key->Writable());
        EXPECT_TRUE(key->WriteString("Path", "C:\\Recovered Files"));
        EXPECT_TRUE(key->Write("Expand", RegValue::ExpandString("%HOME%/x")));
        EXPECT_TRUE(key->WriteDword("Flag", 1));
        EXPECT_TRUE(key->Write("Blob", RegValue::Binary({1, 2, 3})));
        EXPECT_FALSE(key->WriteString("Bad\nName", "x"));
    }

    // Another key object (as another program would) sees them, names in any case.
    auto key = OpenRegistryKey(RegRoot::CurrentUser, "SOFTWARE\\kestrel\\app", RegOpen::Read);
    ASSERT_NE(key, nullptr);
    EXPECT_FALSE(key->Writable());
    EXPECT_EQ(key->Read("path"), RegValue::String("C:\\Recovered Files"));
    EXPECT_EQ(key->Read("EXPAND"), RegValue::ExpandString("%HOME%/x"));
    EXPECT_EQ(key->Read("Flag"), RegValue::Dword(1));
    EXPECT_EQ(key->Read("Blob"), RegValue::Binary({1, 2, 3}));
    EXPECT_EQ(key->Read("Missing"), std::nullopt);
    EXPECT_EQ(key->ValueNames(), (std::vector<std::string>{"Path", "Expand", "Flag", "Blob"}));
    EXPECT_FALSE(key->WriteDword("Flag", 2));  // opened for reading
    EXPECT_FALSE(key->DeleteValue("Flag"));

    // A value written with another type takes that type; it keeps its name's case.
    auto writable = OpenRegistryKey(RegRoot::CurrentUser, "Software\\Kestrel\\App", RegOpen::Write);
    ASSERT_NE(writable, nullptr);
    EXPECT_TRUE(writable->WriteString("FLAG", "yes"));
    EXPECT_EQ(key->Read("flag"), RegValue::String("yes"));
    EXPECT_EQ(key->ValueNames()[2], "Flag");
    EXPECT_TRUE(writable->DeleteValue("blob"));
    EXPECT_TRUE(writable->DeleteValue("blob"));
    EXPECT_EQ(key->Read("Blob"), std::nullopt);

    // Sub keys, relative and absolute.
    auto sub = writable->OpenSubKey("Sub\\Deeper", RegOpen::Create);
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->WriteDword("n", 5));
    auto again = sub->OpenSubKey("\\Software\\Kestrel\\App\\Sub\\Deeper", RegOpen::Read);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Read("N"), RegValue::Dword(5));
    auto parent = OpenRegistryKey(RegRoot::CurrentUser, "Software\\Kestrel", RegOpen::Read);
    ASSERT_NE(parent, nullptr);  // exists through its children
    EXPECT_EQ(parent->SubKeyNames(), (std::vector<std::string>{"App"}));
    EXPECT_EQ(writable->SubKeyNames(), (std::vector<std::string>{"Sub"}));

    EXPECT_EQ(ReadText(Hive()),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrel\\App]\n"
              "\"Path\"=\"C:\\\\Recovered Files\"\n"
              "\"Expand\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,2f,00,78,00,00,00\n"
              "\"Flag\"=\"yes\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrel\\App\\Sub\\Deeper]\n"
              "\"n\"=dword:00000005\n"
              "\n");
    EXPECT_TRUE(FilesStartingWith("HKEY_CURRENT_USER.reg.tmp").empty());
    EXPECT_TRUE(reports_.empty());
}

TEST_F(RegistryTest, ClassesRootIsReadOnly)
{
    EXPECT_EQ(OpenRegistryKey(RegRoot::ClassesRoot, ".txt", RegOpen::Create), nullptr);
    EXPECT_EQ(OpenRegistryKey(RegRoot::ClassesRoot, "", RegOpen::Write), nullptr);
    EXPECT_FALSE(fs::exists(Hive("HKEY_CLASSES_ROOT")));

    WriteText(Hive("HKEY_CLASSES_ROOT"), "Windows Registry Editor Version 5.00\n\n"
                                         "[HKEY_CLASSES_ROOT\\.txt]\n@=\"txtfile\"\n");
    auto key = OpenRegistryKey(RegRoot::ClassesRoot, ".TXT", RegOpen::Read);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->Read(""), RegValue::String("txtfile"));
    EXPECT_FALSE(key->WriteString("", "other"));
    EXPECT_EQ(key->OpenSubKey("Sub", RegOpen::Create), nullptr);

    // A damaged file there is reported once and left where it is.
    WriteText(Hive("HKEY_CLASSES_ROOT"), "rubbish\n");
    EXPECT_EQ(OpenRegistryKey(RegRoot::ClassesRoot, ".txt", RegOpen::Read), nullptr);
    EXPECT_EQ(OpenRegistryKey(RegRoot::ClassesRoot, ".txt", RegOpen::Read), nullptr);
    EXPECT_EQ(reports_.size(), 1u);
    EXPECT_EQ(ReadText(Hive("HKEY_CLASSES_ROOT")), "rubbish\n");
}

TEST_F(RegistryTest, DamagedHiveIsKeptAsideAndReportedOnce)
{
    const std::string garbage = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:zz\n";
    WriteText(Hive(), garbage);

    auto key = OpenRegistryKey(RegRoot::CurrentUser, "Software\\Kestrel", RegOpen::Create);
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(key->WriteDword("Fresh", 1));
    EXPECT_EQ(key->Read("Fresh"), RegValue::Dword(1));
    EXPECT_EQ(OpenRegistryKey(RegRoot::CurrentUser, "A", RegOpen::Read), nullptr);

    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_NE(reports_[0].find("line 4"), std::string::npos) << reports_[0];
    const auto aside = FilesStartingWith("HKEY_CURRENT_USER.reg.corrupt-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_NE(reports_[0].find(aside[0]), std::string::npos) << reports_[0];
    EXPECT_EQ(ReadText(aside[0]), garbage);

    // A reader that meets a damaged file sets it aside as well, once; a
    // second damaged file gets its own name.
    WriteText(Hive(), "\x01\x02\x03");
    EXPECT_EQ(OpenRegistryKey(RegRoot::CurrentUser, "Software\\Kestrel", RegOpen::Read), nullptr);
    EXPECT_EQ(key->Read("Fresh"), std::nullopt);
    EXPECT_EQ(reports_.size(), 2u);
    EXPECT_EQ(FilesStartingWith("HKEY_CURRENT_USER.reg.corrupt-").size(), 2u);
}

TEST_F(RegistryTest, HiveThatCannotBeReadIsNotOverwritten)
{
    auto key = OpenRegistryKey(RegRoot::CurrentUser, "Software", RegOpen::Create);
    ASSERT_NE(key, nullptr);
    fs::remove(Hive());
    fs::create_directory(Hive());  // something that is there but is no file
    EXPECT_EQ(OpenRegistryKey(RegRoot::CurrentUser, "Software", RegOpen::Create), nullptr);
    EXPECT_FALSE(key->WriteDword("A", 1));
    EXPECT_FALSE(key->WriteDword("B", 2));
    EXPECT_EQ(key->Read("A"), std::nullopt);
    EXPECT_TRUE(fs::is_directory(Hive()));
    EXPECT_EQ(reports_.size(), 1u);  // said once, not at every write
}

TEST_F(RegistryTest, AbandonedWriteLeavesTheOldFile)
{
    auto key = OpenRegistryKey(RegRoot::CurrentUser, "Software\\Kestrel", RegOpen::Create);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->WriteString("Kept", "old"));
    const std::string before = ReadText(Hive());

    std::string seen;
    SetHiveReplaceHook([&](const std::string& temp) {
        seen = ReadText(temp);  // the whole new text is there before the rename
        return false;
    });
    EXPECT_FALSE(key->WriteString("Kept", "new"));
    SetHiveReplaceHook({});
    EXPECT_NE(seen.find("\"Kept\"=\"new\""), std::string::npos);
    EXPECT_EQ(ReadText(Hive()), before);
    EXPECT_TRUE(FilesStartingWith("HKEY_CURRENT_USER.reg.tmp").empty());
}

TEST_F(RegistryTest, WriterKilledBeforeRenameLeavesTheOldFile)
{
    auto key = OpenRegistryKey(RegRoot::CurrentUser, "Software\\Kestrel", RegOpen::Create);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->WriteString("Kept", "old"));
    const std::string before = ReadText(Hive());

    const auto result = testdata::RunProcess(std::string(REGWRITER) + " --die-before-rename " +
                                             testdata::ShellQuote(dir_) + " 'Software\\Kestrel' Kept new");
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_EQ(ReadText(Hive()), before);
    EXPECT_EQ(FilesStartingWith("HKEY_CURRENT_USER.reg.tmp").size(), 1u);  // what it left behind
    EXPECT_EQ(key->Read("Kept"), RegValue::String("old"));

    // The next writer clears the leftover and keeps the old values.
    EXPECT_TRUE(key->WriteDword("Next", 2));
    EXPECT_TRUE(FilesStartingWith("HKEY_CURRENT_USER.reg.tmp").empty());
    EXPECT_EQ(key->Read("Kept"), RegValue::String("old"));
    EXPECT_TRUE(reports_.empty());
}

TEST_F(RegistryTest, TwoProgramsWritingAtOnceLoseNothing)
{
    constexpr int kRounds = 12;
    constexpr int kWrites = 15;
    const std::string writer = std::string(REGWRITER) + " " + testdata::ShellQuote(dir_) + " ";
    for (int round = 0; round < kRounds; ++round) {
        const std::string a = "'Software\\Test\\A" + std::to_string(round) + "'";
        const std::string b = "'Software\\Test\\B" + std::to_string(round) + "'";
        const std::string count = " " + std::to_string(kWrites);
        const auto result = testdata::RunProcess(writer + a + count + " & p=$!; " + writer + b + count +
                                                 " || exit 1; wait $p || exit 1");
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    for (int round = 0; round < kRounds; ++round) {
        for (const char* side : {"A", "B"}) {
            auto key = OpenRegistryKey(RegRoot::CurrentUser, "Software\\Test\\" + std::string(side) + std::to_string(round),
                                       RegOpen::Read);
            ASSERT_NE(key, nullptr) << side << round;
            for (int i = 0; i < kWrites; ++i)
                EXPECT_EQ(key->Read("v" + std::to_string(i)), RegValue::Dword(static_cast<std::uint32_t>(i)))
                    << side << round << " v" << i;
        }
    }
    EXPECT_TRUE(reports_.empty());
}

TEST(RegistryFolder, FollowsXdgConfigHome)
{
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    SetRegistryFolder({});

    setenv("XDG_CONFIG_HOME", "/tmp/kestrel-xdg", 1);
    EXPECT_EQ(RegistryFolder(), "/tmp/kestrel-xdg/kestrel/registry");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_TRUE(RegistryFolder().ends_with("/.config/kestrel/registry"));
    EXPECT_EQ(RegistryFolder().find("relative"), std::string::npos);
    SetRegistryFolder("/somewhere/else");
    EXPECT_EQ(RegistryFolder(), "/somewhere/else");
    SetRegistryFolder({});

    if (saved)
        setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

} // namespace
