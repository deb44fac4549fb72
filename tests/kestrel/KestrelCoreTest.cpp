// The launcher's tool table and folders, desktop entries, version records.
#include "kestrel/DesktopEntry.h"
#include "kestrel/ToolInstaller.h"
#include "kestrel/ToolTable.h"
#include "kestrel/VersionRecord.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        old_ = old ? old : "";
        ::setenv(name, value, 1);
    }
    ~ScopedEnv()
    {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(ToolTable, ElevenRowsInTheirOrderWithoutASuffixOnLinux)
{
    const CToolTable table = BuildToolTable();
    ASSERT_EQ(table.size(), 11u);
    EXPECT_EQ(table[0].fileName, "memflux");
    EXPECT_EQ(table[0].displayName, "Memory Balancer");
    EXPECT_EQ(table[kSalvageRow].fileName, "salvage");
    EXPECT_EQ(table[kSalvageRow].displayName, "Razuzuda Rezer");
    EXPECT_EQ(table[10].fileName, "dockveil");
    EXPECT_EQ(table[10].displayName, "Dock Veil");
}

TEST(ToolTable, FoldersFollowTheLauncherAndTheApplicationsMenu)
{
    std::optional<ScopedEnv> dataHome(std::in_place, "XDG_DATA_HOME", "/tmp/data home");
    const CSuiteFolders folders = ComputeSuiteFolders("/opt/My Tools");
    EXPECT_EQ(folders.tool, "/opt/My Tools");
    EXPECT_EQ(folders.setup, "/opt/My Tools/setup");
    EXPECT_EQ(folders.shortcut, "/tmp/data home/applications/Kestrel Tools");
    EXPECT_EQ(ShortcutPath(folders, BuildToolTable()[4]), "/tmp/data home/applications/Kestrel Tools/Drive Sweeper.desktop");
    EXPECT_EQ(UpdaterPath("/opt/My Tools"), "/opt/My Tools/kestrelupdate");

    // A relative XDG_DATA_HOME is ignored, as the base-directory rules say.
    dataHome.reset();
    const ScopedEnv relative("XDG_DATA_HOME", "relative");
    const ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(ComputeSuiteFolders("/x").shortcut, "/home/someone/.local/share/applications/Kestrel Tools");
}

TEST(DesktopEntry, ExecQuotesWhatTheShellRulesReserve)
{
    EXPECT_EQ(QuoteExecArgument("/opt/kestrel/salvage"), "/opt/kestrel/salvage");
    EXPECT_EQ(QuoteExecArgument("/opt/My Tools/salvage"), "\"/opt/My Tools/salvage\"");
    EXPECT_EQ(QuoteExecArgument("/opt/a\"b$c`d\\e"), "\"/opt/a\\\"b\\$c\\`d\\\\e\"");
    EXPECT_EQ(QuoteExecArgument("/opt/100%/x"), "/opt/100%%/x");
    EXPECT_EQ(QuoteExecArgument("/opt/100% sure/x"), "\"/opt/100%% sure/x\"");
    // The file's own escaping doubles every backslash once more.
    EXPECT_EQ(EscapeDesktopValue("a\\b"), "a\\\\b");
    EXPECT_EQ(EscapeDesktopValue(" lead"), "\\slead");
}

TEST(DesktopEntry, ANameOrPathWithALineBreakIsRefused)
{
    EXPECT_FALSE(DesktopEntryText("Tool", "/opt/a\nb").has_value());
    EXPECT_FALSE(DesktopEntryText("To\nol", "/opt/ab").has_value());
    const auto text = DesktopEntryText("Razuzuda Rezer", "/opt/My Tools/salvage");
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find("Name=Razuzuda Rezer\n"), std::string::npos);
    EXPECT_NE(text->find("Exec=\"/opt/My Tools/salvage\"\n"), std::string::npos);
    EXPECT_EQ(text->find("Comment="), std::string::npos) << "the shortcut carries no description";
}

TEST(DesktopEntry, WrittenEntriesPassDesktopFileValidate)
{
    if (testdata::RunProcess("command -v desktop-file-validate").exitCode != 0)
        GTEST_SKIP() << "desktop-file-validate is not installed (package desktop-file-utils)";
    const std::string dir = testdata::MakeTempDir("kestrel-entries");
    const std::string targets[] = {"/opt/My Tools/salvage", "/opt/odd \"quoted\" $dir/`tick`\\back/100%/tool",
                                   "/opt/plain/tool"};
    int n = 0;
    for (const std::string& target : targets) {
        const std::string entry = dir + "/Kestrel Tools/Entry " + std::to_string(++n) + ".desktop";
        ASSERT_TRUE(CreateToolShortcut(entry, target, "Tool " + std::to_string(n)));
        const auto result = testdata::RunProcess("desktop-file-validate " + testdata::ShellQuote(entry) + " 2>&1");
        EXPECT_EQ(result.exitCode, 0) << target << "\n" << result.out;
        EXPECT_EQ(result.out.find("error"), std::string::npos) << result.out;
    }
    fs::remove_all(dir);
}

TEST(VersionRecord, NamesDateAndCommentsParse)
{
    const CVersionInfo info = ParseVersionRecord("# Kestrel version record\n"
                                                 "FileVersion=2.0.1\r\n"
                                                 "  ProductName = Kestrel  \n"
                                                 "\n"
                                                 "Unknown=ignored\n"
                                                 "no equals sign\n"
                                                 "FileDescription=bad\x01value\n"
                                                 "FileDate=2024-02-29T23:59:58Z\n");
    EXPECT_EQ(info.String("FileVersion"), "2.0.1");
    EXPECT_EQ(info.String("ProductName"), "Kestrel");
    EXPECT_EQ(info.String("Unknown"), "");
    EXPECT_EQ(info.String("FileDescription"), "") << "a value with a control character is skipped";
    ASSERT_TRUE(info.fileDate.has_value());
    EXPECT_EQ(*info.fileDate, 1709251198);
}

TEST(VersionRecord, MalformedDatesAreNoDate)
{
    for (const char* text : {"2023-02-29T00:00:00Z", "2024-13-01T00:00:00Z", "2024-01-01 00:00:00Z",
                             "2024-01-01T24:00:00Z", "2024-01-01T00:00:00", "", "x024-01-01T00:00:00Z"})
        EXPECT_FALSE(ParseUtcTimestamp(text).has_value()) << text;
    EXPECT_EQ(ParseUtcTimestamp("1970-01-01T00:00:00Z"), std::optional<std::time_t>(0));
    EXPECT_EQ(ParseUtcTimestamp("1899-12-31T00:00:00Z"), std::optional<std::time_t>(-2209075200LL));
}

TEST(VersionRecord, TheRecordBesideAProgramIsRead)
{
    const std::string dir = testdata::MakeTempDir("kestrel-version");
    const std::string program = dir + "/sweeper";
    testdata::WriteFileBytes(program, std::vector<std::uint8_t>(1234, 0x90));
    {
        std::ofstream record(VersionRecordPath(program));
        record << "FileVersion=3.1\nFileDate=2020-01-02T03:04:05Z\n";
    }
    const CVersionInfo info = ReadVersionInfo(program);
    EXPECT_EQ(info.String("FileVersion"), "3.1");
    EXPECT_EQ(info.path, program);
    EXPECT_EQ(FileSizeText(program), "1234 Bytes");
    EXPECT_EQ(FileSizeText(dir + "/missing"), "0 Bytes");
    const CVersionInfo none = ReadVersionInfo(dir + "/missing");
    EXPECT_TRUE(none.strings.empty());
    EXPECT_FALSE(none.fileDate.has_value());
    fs::remove_all(dir);
}

TEST(VersionRecord, DatesShowInLocalTimeAndNoDateAsTimeZero)
{
    const ScopedEnv utc("TZ", "UTC");
    ::tzset();
    EXPECT_EQ(UpdateDateText(std::time_t{1709251198}), "23:59:58, Thursday, February 29, 2024");
    EXPECT_EQ(UpdateDateText(std::nullopt), "00:00:00, Thursday, January 01, 1970");
    EXPECT_EQ(UpdateDateText(std::time_t{-2209075200LL}), "00:00:00, Thursday, January 01, 1970")
        << "a date before 1900 is time 0";
}

TEST(VersionRecord, TranslationChoiceFollowsTheUsersLanguage)
{
    // Language in the low 16 bits, code page in the high.
    const std::uint32_t german = 0x04B00407, swissGerman = 0x04B00807, neutral = 0x04B00000, english = 0x04B00409,
                        french = 0x04B0040C;
    const std::uint32_t exact[] = {english, german};
    EXPECT_EQ(ChooseTranslation(exact, 0x0407), 1u);
    const std::uint32_t sameFamily[] = {english, swissGerman};
    EXPECT_EQ(ChooseTranslation(sameFamily, 0x0407), 1u);
    const std::uint32_t withNeutral[] = {french, neutral, english};
    EXPECT_EQ(ChooseTranslation(withNeutral, 0x0407), 1u);
    const std::uint32_t englishOnly[] = {french, english};
    EXPECT_EQ(ChooseTranslation(englishOnly, 0x0407), 1u);
    const std::uint32_t nothing[] = {french};
    EXPECT_EQ(ChooseTranslation(nothing, 0x0407), 0u);
    EXPECT_EQ(ChooseTranslation({}, 0x0407), 0u);
}

TEST(ToolInstaller, InstallingAnInstalledToolOnlyRemakesItsShortcut)
{
    const std::string dir = testdata::MakeTempDir("kestrel install");
    CSuiteFolders folders{dir + "/Tools", dir + "/Tools/setup", dir + "/menu/Kestrel Tools"};
    fs::create_directories(folders.setup);
    testdata::WriteFileBytes(folders.tool + "/sweeper", {'o', 'l', 'd'});
    testdata::WriteFileBytes(folders.setup + "/sweeper", {'n', 'e', 'w'});
    CToolInstaller installer(folders, BuildToolTable());
    EXPECT_TRUE(installer.Install(4));
    EXPECT_EQ(testdata::ReadFileBytes(folders.tool + "/sweeper"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_TRUE(fs::exists(folders.shortcut + "/Drive Sweeper.desktop"));

    // Removing a tool that is not installed deletes its stray shortcut only.
    testdata::WriteFileBytes(folders.shortcut + "/Boot Warden.desktop", {'x'});
    testdata::WriteFileBytes(folders.setup + "/bootwarden", {'b'});
    EXPECT_TRUE(installer.Remove(6));
    EXPECT_FALSE(fs::exists(folders.shortcut + "/Boot Warden.desktop"));
    EXPECT_TRUE(fs::exists(folders.setup + "/bootwarden"));
    EXPECT_TRUE(fs::exists(folders.tool + "/sweeper"));

    // A tool without an installable copy stays uninstalled, and nothing is left half-copied.
    EXPECT_FALSE(installer.Install(0));
    EXPECT_FALSE(fs::exists(folders.tool + "/memflux"));
    EXPECT_FALSE(fs::exists(folders.tool + "/memflux.part"));
    EXPECT_FALSE(fs::exists(folders.shortcut + "/Memory Balancer.desktop"));
    fs::remove_all(dir);
}

} // namespace
