// The option store over the file-backed registry: defaults on a first run,
// what reaches the hive at exit, values of the wrong type, change handlers.
#include "platform/Registry.h"
#include "platform/RegistryHooks.h"
#include "salvage/ui/Options.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using namespace salvage;
using platform::OpenRegistryKey;
using platform::RegOpen;
using platform::RegRoot;
using platform::RegValue;
namespace fs = std::filesystem;

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = testdata::MakeTempDir("kestrel-options");
        platform::SetRegistryFolder(dir_ + "/registry");
        platform::SetRegistryReport([this](const std::string& m) { reports_.push_back(m); });
        platform::SetHiveReplaceHook([this](const std::string&) {
            ++writes_;
            return true;
        });
        const char* home = std::getenv("HOME");
        savedHome_ = home ? home : "";
        setenv("HOME", dir_.c_str(), 1);
    }
    void TearDown() override
    {
        setenv("HOME", savedHome_.c_str(), 1);
        platform::SetHiveReplaceHook({});
        platform::SetRegistryReport({});
        platform::SetRegistryFolder({});
        fs::remove_all(dir_);
    }

    static std::unique_ptr<platform::RegistryKey> SettingsKey()
    {
        return OpenRegistryKey(RegRoot::CurrentUser, OptionsKeyPath(), RegOpen::Create);
    }

    std::string dir_;
    std::string savedHome_;
    std::vector<std::string> reports_;
    int writes_ = 0;
};

TEST_F(OptionsTest, FirstRunUsesDefaultsAndLeavesEveryOptionInTheHive)
{
    EXPECT_EQ(OptionsKeyPath(), "\\Software\\Kestrel\\Razuzuda Rezer\\2.0\\Settings");
    const struct {
        const char* name;
        std::uint8_t kind;
        std::int32_t value;
    } table[] = {
        {"FirstLaunch", TOption::kInteger, 1},          {"ShowStatusBar", TOption::kInteger, 1},
        {"ShowToolBar", TOption::kInteger, 1},          {"CheckDeterminate", TOption::kInteger, 1},
        {"CheckMountPoint", TOption::kInteger, 1},      {"CheckRestoreStructure", TOption::kInteger, 0},
        {"CheckRecoverAll", TOption::kInteger, 1},      {"PathRecover", TOption::kString, 0},
        {"FatClusterRule", TOption::kInteger, 0},
    };
    {
        auto options = NewProgramOptions();
        options->Load();
        ASSERT_EQ(options->Count(), std::size(table));
        for (std::size_t i = 0; i < std::size(table); ++i) {
            const TOption& option = options->Item(i);
            EXPECT_EQ(option.Name(), table[i].name);
            EXPECT_EQ(option.Kind(), table[i].kind);
            if (option.Kind() == TOption::kInteger) {
                EXPECT_EQ(option.GetInteger(), table[i].value) << option.Name();
            }
        }
        EXPECT_EQ(options->Find("PathRecover").GetString(), dir_ + "/Recovered Files");
        EXPECT_TRUE(options->Find("FirstLaunch").GetBoolean());
        options->SaveAll();
    }
    auto key = SettingsKey();
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->ValueNames().size(), std::size(table));
    EXPECT_EQ(key->Read("FirstLaunch"), RegValue::Dword(0));
    EXPECT_EQ(key->Read("ShowStatusBar"), RegValue::Dword(1));
    EXPECT_EQ(key->Read("CheckRestoreStructure"), RegValue::Dword(0));
    EXPECT_EQ(key->Read("PathRecover"), RegValue::String(dir_ + "/Recovered Files"));

    // The next run finds FirstLaunch off and, changing nothing, writes nothing.
    writes_ = 0;
    {
        auto options = NewProgramOptions();
        options->Load();
        EXPECT_FALSE(options->Find("FirstLaunch").GetBoolean());
        EXPECT_TRUE(options->LastChanged() == "FirstLaunch");
    }
    EXPECT_EQ(writes_, 0);
    EXPECT_TRUE(reports_.empty());
}

TEST_F(OptionsTest, DestroyTurnsFirstLaunchOffWithoutSavingTheRest)
{
    {
        TOptions options(RegRoot::CurrentUser, OptionsKeyPath());
        RegisterProgramOptions(options);
        options.Find("ShowToolBar").SetBoolean(false);  // in memory only
    }
    auto key = SettingsKey();
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->ValueNames(), (std::vector<std::string>{"FirstLaunch"}));
    EXPECT_EQ(key->Read("FirstLaunch"), RegValue::Dword(0));
}

TEST_F(OptionsTest, StoredValuesAreLoadedByTheirRegistryType)
{
    {
        auto key = SettingsKey();
        ASSERT_NE(key, nullptr);
        key->Write("pathrecover", RegValue::ExpandString("%HOME%/elsewhere"));  // not ours: ignored
        key->WriteDword("ShowStatusBar", 0);
        key->WriteDword("CheckRecoverAll", 0xFFFFFFFFu);
        key->Write("CheckMountPoint", RegValue::Raw(static_cast<platform::RegType>(11), {0, 0, 0, 0, 0, 0, 0, 0}));
        key->Write("Blob", RegValue::Binary({9, 8, 7}));
        key->WriteString("Unregistered", "x");
    }
    auto options = NewProgramOptions();
    TOption& blob = options->AddBinary("Blob");
    options->Load();
    EXPECT_EQ(options->Find("PathRecover").GetString(), dir_ + "/Recovered Files");
    EXPECT_FALSE(options->Find("ShowStatusBar").GetBoolean());
    EXPECT_EQ(options->Find("CheckRecoverAll").GetInteger(), -1);
    EXPECT_TRUE(options->Find("CheckMountPoint").GetBoolean());
    EXPECT_EQ(std::vector<std::uint8_t>(blob.GetBinary().begin(), blob.GetBinary().end()),
              (std::vector<std::uint8_t>{9, 8, 7}));

    // And a binary option is saved as REG_BINARY.
    const std::uint8_t data[] = {1, 2};
    blob.SetBinary(data);
    options->SaveOne("BLOB");
    EXPECT_EQ(SettingsKey()->Read("Blob"), RegValue::Binary({1, 2}));
}

TEST_F(OptionsTest, ValueOfTheWrongKindStopsLoad)
{
    const struct {
        const char* name;
        RegValue value;
    } cases[] = {
        {"ShowToolBar", RegValue::String("1")},
        {"PathRecover", RegValue::Dword(1)},
        {"ShowToolBar", RegValue::Binary({1})},
    };
    for (const auto& c : cases) {
        auto key = SettingsKey();
        ASSERT_NE(key, nullptr);
        ASSERT_TRUE(key->WriteDword("ShowStatusBar", 0));
        ASSERT_TRUE(key->Write(c.name, c.value));
        auto options = NewProgramOptions();
        try {
            options->Load();
            ADD_FAILURE() << c.name << " loaded";
        } catch (const EOptionError& e) {
            EXPECT_STREQ(e.what(), "Wrong option type");
        }
        // Options before it in the table were read.
        EXPECT_FALSE(options->Find("ShowStatusBar").GetBoolean());
        ASSERT_TRUE(key->DeleteValue(c.name));
    }
}

TEST_F(OptionsTest, SettersCallTheHandlerOnlyOnARealChange)
{
    struct Observer : IOptionsObserver {
        void OptionsChanged(TOptions& sender) override { seen.push_back(sender.LastChanged()); }
        std::vector<std::string> seen;
    } observer;

    TOptions options(RegRoot::CurrentUser, OptionsKeyPath());
    RegisterProgramOptions(options);
    options.AddObserver(&observer);
    TOption& toolBar = options.Find("showtoolbar");  // any case
    EXPECT_EQ(&toolBar, &options.Find("SHOWTOOLBAR"));
    EXPECT_EQ(toolBar.Name(), "ShowToolBar");

    toolBar.SetBoolean(true);  // already true
    toolBar.SetInteger(1);
    EXPECT_TRUE(observer.seen.empty());
    toolBar.SetBoolean(false);
    TOption& path = options.Find("PathRecover");
    path.SetString(path.GetString());
    path.SetString("/tmp/X");
    path.SetString("/tmp/x");  // texts are compared exactly
    EXPECT_EQ(observer.seen, (std::vector<std::string>{"ShowToolBar", "PathRecover", "PathRecover"}));
    EXPECT_EQ(options.LastChanged(), "PathRecover");
    EXPECT_EQ(toolBar.IntegerDefault(), 1);
    EXPECT_EQ(path.StringDefault(), dir_ + "/Recovered Files");

    // A binary option calls its handler for every non-empty block, and when
    // an existing block is freed.
    TOption& blob = options.AddBinary("Blob");
    int calls = 0;
    blob.OnChange = [&](TOption& sender) {
        EXPECT_EQ(&sender, &blob);
        ++calls;
    };
    const std::uint8_t data[] = {1, 2, 3};
    blob.SetBinary({});
    EXPECT_EQ(calls, 0);
    blob.SetBinary(data);
    blob.SetBinary(data);
    EXPECT_EQ(calls, 2);
    blob.SetBinary({});
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(blob.GetBinary().empty());

    options.RemoveObserver(&observer);
    toolBar.SetBoolean(true);
    EXPECT_EQ(observer.seen.size(), 3u);
}

TEST_F(OptionsTest, MisuseRaisesTheStoresMessages)
{
    TOptions options(RegRoot::CurrentUser, OptionsKeyPath());
    RegisterProgramOptions(options);
    const auto message = [](const auto& action) -> std::string {
        try {
            action();
        } catch (const EOptionError& e) {
            return e.what();
        }
        return "(nothing raised)";
    };
    TOption& flag = options.Find("ShowToolBar");
    TOption& path = options.Find("PathRecover");
    const std::uint8_t data[] = {1};
    EXPECT_EQ(message([&] { (void)flag.GetString(); }), "Wrong option type");
    EXPECT_EQ(message([&] { flag.SetString("x"); }), "Wrong option type");
    EXPECT_EQ(message([&] { flag.SetBinary(data); }), "Wrong option type");
    EXPECT_EQ(message([&] { (void)path.GetBoolean(); }), "Wrong option type");
    EXPECT_EQ(message([&] { path.SetInteger(1); }), "Wrong option type");
    EXPECT_EQ(message([&] { (void)path.GetBinary(); }), "Wrong option type");
    EXPECT_EQ(message([&] { (void)options.Find("NoSuchOption"); }), "Option \"NoSuchOption\" is not found.");
    EXPECT_EQ(message([&] { options.SaveOne("Nope"); }), "Option \"Nope\" is not found.");
}

TEST_F(OptionsTest, KeyThatCannotBeOpenedLeavesTheDefaults)
{
    // The registry folder is a file, so no hive can be read or made there.
    platform::SetRegistryFolder(dir_ + "/blocked");
    testdata::WriteFileBytes(dir_ + "/blocked", {'x'});
    {
        auto options = NewProgramOptions();
        options->Load();
        EXPECT_TRUE(options->Find("ShowToolBar").GetBoolean());
        options->Find("ShowToolBar").SetBoolean(false);
        options->SaveAll();
        options->SaveOne("ShowToolBar");
    }
    EXPECT_EQ(writes_, 0);
    EXPECT_EQ(testdata::ReadFileBytes(dir_ + "/blocked"), (std::vector<std::uint8_t>{'x'}));
}

} // namespace

TEST_F(OptionsTest, FatClusterRuleReadsBackAndFallsBackToTheDefault)
{
    auto options = NewProgramOptions();
    EXPECT_EQ(FatClusterRuleOption(*options), TFatClusterRule::FreeGaps);
    options->Find(kOptFatClusterRule).SetInteger(1);
    EXPECT_EQ(FatClusterRuleOption(*options), TFatClusterRule::Consecutive);
    options->Find(kOptFatClusterRule).SetInteger(7);  // no such rule (a newer program's?)
    EXPECT_EQ(FatClusterRuleOption(*options), TFatClusterRule::FreeGaps);
}
