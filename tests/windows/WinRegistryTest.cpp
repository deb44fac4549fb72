// The registry layer over the real registry: what it writes is what the
// system's own tool (reg.exe) reads, and what that tool writes the layer
// reads, types and all.
#include "platform/Registry.h"
#include "tests/support/RunProcess.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <sstream>

using platform::OpenRegistryKey;
using platform::RegOpen;
using platform::RegRoot;
using platform::RegType;
using platform::RegValue;
using testdata::RunProcess;

namespace {

struct QueriedValue {
    std::string type;  // "REG_SZ", ...
    std::string data;  // as reg query prints it
};

// reg query's listing of one key: "    NAME    TYPE    DATA" per value.
std::map<std::string, QueriedValue> ParseQuery(const std::string& output)
{
    std::map<std::string, QueriedValue> values;
    for (const std::string& line : testdata::Lines(output)) {
        if (!line.starts_with("    "))
            continue;
        const std::string rest = line.substr(4);
        const std::size_t typeAt = rest.find("    REG_");
        if (typeAt == std::string::npos)
            continue;
        const std::string name = rest.substr(0, typeAt);
        const std::string typed = rest.substr(typeAt + 4);
        const std::size_t dataAt = typed.find("    ");
        values[name] = dataAt == std::string::npos ? QueriedValue{typed, ""}
                                                   : QueriedValue{typed.substr(0, dataAt), typed.substr(dataAt + 4)};
    }
    return values;
}

class WinRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A key of its own for each test program run.
        path_ = "Software\\Kestrel\\Registry Test " + std::to_string(GetCurrentProcessId()) + "\\" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        full_ = "HKCU\\" + path_;
    }
    void TearDown() override { (void)Reg("delete " + testdata::ShellQuote(full_) + " /f"); }

    static testdata::ProcessResult Reg(const std::string& arguments) { return RunProcess("reg " + arguments); }

    std::map<std::string, QueriedValue> Query() const
    {
        const auto r = Reg("query " + testdata::ShellQuote(full_));
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        return ParseQuery(r.out);
    }

    std::string path_;
    std::string full_;
};

} // namespace

TEST_F(WinRegistryTest, WhatTheLayerWritesRegQueryReads)
{
    auto key = OpenRegistryKey(RegRoot::CurrentUser, path_, RegOpen::Create);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->Writable());
    ASSERT_TRUE(key->WriteString("Folder", "C:\\Recovered Files"));
    ASSERT_TRUE(key->WriteDword("Count", 0xDEADBEEF));
    ASSERT_TRUE(key->Write("Expand", RegValue::ExpandString("%TEMP%\\kestrel")));
    ASSERT_TRUE(key->Write("Blob", RegValue::Binary({0x01, 0x02, 0xFF})));
    ASSERT_TRUE(key->WriteString("", "default text"));
    const platform::NamedRegValue both[] = {{"First", RegValue::Dword(1)}, {"Second", RegValue::String("two")}};
    ASSERT_TRUE(key->WriteAll(both));

    const auto values = Query();
    ASSERT_EQ(values.size(), 7u) << "every value, none twice";
    EXPECT_EQ(values.at("Folder").type, "REG_SZ");
    EXPECT_EQ(values.at("Folder").data, "C:\\Recovered Files");
    EXPECT_EQ(values.at("Count").type, "REG_DWORD");
    EXPECT_EQ(values.at("Count").data, "0xdeadbeef");
    EXPECT_EQ(values.at("Expand").type, "REG_EXPAND_SZ");
    EXPECT_EQ(values.at("Expand").data, "%TEMP%\\kestrel") << "kept unexpanded";
    EXPECT_EQ(values.at("Blob").type, "REG_BINARY");
    EXPECT_EQ(values.at("Blob").data, "0102FF");
    EXPECT_EQ(values.at("(Default)").data, "default text");
    EXPECT_EQ(values.at("First").data, "0x1");
    EXPECT_EQ(values.at("Second").data, "two");

    // Replacing a value replaces its type too.
    ASSERT_TRUE(key->WriteDword("Folder", 5));
    EXPECT_EQ(Query().at("Folder").type, "REG_DWORD");
    // A deleted value is gone for reg as well; deleting it again is no failure.
    ASSERT_TRUE(key->DeleteValue("Blob"));
    EXPECT_TRUE(key->DeleteValue("Blob"));
    EXPECT_NE(Reg("query " + testdata::ShellQuote(full_) + " /v Blob").exitCode, 0);
    EXPECT_EQ(Query().count("Blob"), 0u);
}

TEST_F(WinRegistryTest, WhatRegAddsTheLayerReads)
{
    const std::string key = testdata::ShellQuote(full_);
    ASSERT_EQ(Reg("add " + key + " /v Text /t REG_SZ /d " + testdata::ShellQuote("from reg") + " /f").exitCode, 0);
    ASSERT_EQ(Reg("add " + key + " /v Number /t REG_DWORD /d 42 /f").exitCode, 0);
    ASSERT_EQ(Reg("add " + key + " /v Bytes /t REG_BINARY /d 00ff10 /f").exitCode, 0);
    ASSERT_EQ(Reg("add " + key + " /v Many /t REG_MULTI_SZ /d a\\0b /f").exitCode, 0);
    ASSERT_EQ(Reg("add " + testdata::ShellQuote(full_ + "\\Sub") + " /f").exitCode, 0);

    auto k = OpenRegistryKey(RegRoot::CurrentUser, path_, RegOpen::Read);
    ASSERT_NE(k, nullptr);
    EXPECT_FALSE(k->Writable());
    EXPECT_EQ(k->Read("text"), RegValue::String("from reg")) << "names in any case";
    EXPECT_EQ(k->Read("Number"), RegValue::Dword(42));
    EXPECT_EQ(k->Read("Bytes"), RegValue::Binary({0x00, 0xFF, 0x10}));
    // A type the layer has no name for keeps its number and its bytes.
    const auto many = k->Read("Many");
    ASSERT_TRUE(many);
    EXPECT_EQ(static_cast<std::uint32_t>(many->type), static_cast<std::uint32_t>(REG_MULTI_SZ));
    EXPECT_EQ(many->bytes, (std::vector<std::uint8_t>{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
    EXPECT_EQ(k->Read("Missing"), std::nullopt);
    EXPECT_EQ(k->SubKeyNames(), std::vector<std::string>{"Sub"});
    EXPECT_EQ(k->ValueNames().size(), 4u);

    // Read-only means read-only: nothing reaches the registry through it.
    EXPECT_FALSE(k->WriteString("Text", "changed"));
    EXPECT_EQ(Query().at("Text").data, "from reg");
    // A sub key by a relative and by an absolute path.
    EXPECT_NE(k->OpenSubKey("Sub", RegOpen::Read), nullptr);
    EXPECT_NE(k->OpenSubKey("\\" + path_ + "\\Sub", RegOpen::Read), nullptr);
    EXPECT_EQ(k->OpenSubKey("Nothing", RegOpen::Read), nullptr);
}

TEST_F(WinRegistryTest, TextsOutsideTheCodePageKeepEveryCharacter)
{
    // Written through the layer in UTF-8, held by the registry in UTF-16.
    auto key = OpenRegistryKey(RegRoot::CurrentUser, path_, RegOpen::Create);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->WriteString("Größe", "Wiederhergestellt – ★ 日本"));

    HKEY raw = nullptr;
    const std::wstring wpath(path_.begin(), path_.end());
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, wpath.c_str(), 0, KEY_READ, &raw), ERROR_SUCCESS);
    wchar_t data[64] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(raw, L"Gr\u00f6\u00dfe", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    RegCloseKey(raw);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::wstring(data), L"Wiederhergestellt \u2013 \u2605 \u65e5\u672c");

    // And back through another key object, by the name in another case.
    auto again = OpenRegistryKey(RegRoot::CurrentUser, path_, RegOpen::Read);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Read("gRöße"), RegValue::String("Wiederhergestellt – ★ 日本"));
    EXPECT_EQ(again->Read("GRÖSSE"), std::nullopt) << "\"ß\" is not \"SS\"";
    EXPECT_EQ(again->ValueNames(), std::vector<std::string>{"Größe"});
}

TEST(WinRegistry, ClassesRootIsReadOnlyAndMissingKeysAreNull)
{
    EXPECT_EQ(OpenRegistryKey(RegRoot::ClassesRoot, "Kestrel Test", RegOpen::Create), nullptr);
    EXPECT_EQ(OpenRegistryKey(RegRoot::ClassesRoot, ".txt", RegOpen::Write), nullptr);
    EXPECT_EQ(OpenRegistryKey(RegRoot::CurrentUser, "Software\\Kestrel\\No Such Key", RegOpen::Read), nullptr);
    EXPECT_EQ(OpenRegistryKey(RegRoot::CurrentUser, "Software\\\\Empty Name", RegOpen::Create), nullptr);
}
