// The .reg text form of a hive: what we write reads back the same, files in
// the Windows editor's own style read correctly, and damaged files are
// refused with the line at fault instead of being half-read.
#include "platform/RegFile.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace platform;
using namespace platform::regfile;

constexpr const char* kRoot = "HKEY_CURRENT_USER";

std::span<const std::uint8_t> Bytes(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

ParseResult Parse(const std::string& text)
{
    return ParseRegFile(Bytes(text), kRoot);
}

// Every key with every value, for comparing two hives.
std::vector<std::pair<KeyPath, std::vector<NamedRegValue>>> Contents(const Hive& hive)
{
    std::vector<std::pair<KeyPath, std::vector<NamedRegValue>>> out;
    for (const HiveKey* key : hive.Keys())
        out.emplace_back(key->path, key->values);
    return out;
}

TEST(RegFile, EveryValueTypeSurvivesWriteAndRead)
{
    std::vector<std::uint8_t> longBinary(200);
    for (std::size_t i = 0; i < longBinary.size(); ++i)
        longBinary[i] = static_cast<std::uint8_t>(i * 7);

    Hive hive;
    HiveKey& settings = hive.Make({"Software", "Kestrel", "Razuzuda Rezer", "2.0", "Settings"});
    SetValue(settings, "FirstLaunch", RegValue::Dword(0));
    SetValue(settings, "Max", RegValue::Dword(0xFFFFFFFFu));
    SetValue(settings, "PathRecover", RegValue::String("C:\\Recovered Files"));
    SetValue(settings, "Quoted \"name\" \\ here", RegValue::String("say \"hi\"\\"));
    SetValue(settings, "Lines", RegValue::String("one\r\ntwo\tthree"));
    SetValue(settings, "Unicode", RegValue::String("Zoë — 日本 🙂"));
    SetValue(settings, "NotUtf8", RegValue::String("a\xFF"));
    SetValue(settings, "Expand", RegValue::ExpandString("%TEMP%\\kestrel"));
    SetValue(settings, "Empty", RegValue::Binary({}));
    SetValue(settings, "Long", RegValue::Binary(longBinary));
    SetValue(settings, "Multi", RegValue::Raw(static_cast<RegType>(7), {'a', 0, 0, 0, 0, 0}));
    SetValue(settings, "Qword", RegValue::Raw(static_cast<RegType>(11), {1, 2, 3, 4, 5, 6, 7, 8}));
    SetValue(settings, "", RegValue::String("default"));
    hive.Make({"Software", "Other"});

    const std::string text = FormatRegFile(hive, kRoot);
    EXPECT_TRUE(text.starts_with("Windows Registry Editor Version 5.00\n\n"));
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Kestrel\\Razuzuda Rezer\\2.0\\Settings]\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"FirstLaunch\"=dword:00000000\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"Max\"=dword:ffffffff\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"PathRecover\"=\"C:\\\\Recovered Files\"\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"Quoted \\\"name\\\" \\\\ here\"=\"say \\\"hi\\\"\\\\\"\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"Lines\"=hex(1):"), std::string::npos);
    EXPECT_NE(text.find("\n\"Expand\"=hex(2):25,00,54,00"), std::string::npos);
    EXPECT_NE(text.find("\n\"Empty\"=hex:\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"Multi\"=hex(7):61,00,00,00,00,00\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"Qword\"=hex(b):01,02"), std::string::npos);
    EXPECT_NE(text.find("\n@=\"default\"\n"), std::string::npos);
    // Long data is wrapped like the Windows editor does it.
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
        start = end + 1;
    }

    const ParseResult back = Parse(text);
    ASSERT_TRUE(back.ok) << back.line << ": " << back.error;
    auto expected = Contents(hive);
    // Bytes that are not UTF-8 cannot be kept; they come back as "?".
    for (auto& [name, value] : expected[0].second)
        if (name == "NotUtf8")
            value.text = "a?";
    EXPECT_EQ(Contents(back.hive), expected);
}

TEST(RegFile, ReadsWhatTheWindowsEditorWrites)
{
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrel]\r\n"
        "@=\"top\"\r\n"
        "\"Count\"=dword:0000002A\r\n"
        "\"Path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,78,00,00,00\r\n"
        "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
        "  16,17\r\n"
        "\"Gone\"=\"x\"\r\n"
        "\"gone\"=-\r\n"
        "\"Hand typed\"=\"C:\\Temp\"\r\n"
        "\r\n"
        "[hkey_current_user\\SOFTWARE\\kestrel\\Sub]\r\n"
        "\"A\"=\"1\"\r\n"
        "[HKEY_CURRENT_USER\\Software\\Dropped]\r\n"
        "\"B\"=\"2\"\r\n"
        "[-HKEY_CURRENT_USER\\Software\\Dropped]\r\n";
    const auto check = [](const ParseResult& r) {
        ASSERT_TRUE(r.ok) << r.line << ": " << r.error;
        const HiveKey* key = r.hive.Find({"software", "KESTREL"});
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->path, (KeyPath{"Software", "Kestrel"}));  // the case it was made with
        EXPECT_EQ(*FindValue(*key, ""), RegValue::String("top"));
        EXPECT_EQ(*FindValue(*key, "COUNT"), RegValue::Dword(42));
        EXPECT_EQ(*FindValue(*key, "path"), RegValue::ExpandString("%TEMP%\\x"));
        const RegValue* blob = FindValue(*key, "Blob");
        ASSERT_NE(blob, nullptr);
        EXPECT_EQ(blob->bytes.size(), 24u);
        EXPECT_EQ(blob->bytes.back(), 0x17);
        EXPECT_EQ(FindValue(*key, "Gone"), nullptr);
        // A lone backslash is what a person typing a path meant.
        EXPECT_EQ(*FindValue(*key, "Hand typed"), RegValue::String("C:\\Temp"));
        EXPECT_NE(r.hive.Find({"Software", "Kestrel", "Sub"}), nullptr);
        EXPECT_FALSE(r.hive.Exists({"Software", "Dropped"}));
    };
    check(Parse(text));

    // The editor's own files are UTF-16LE with a byte-order mark.
    const std::u16string units(text.begin(), text.end());
    std::vector<std::uint8_t> utf16{0xFF, 0xFE};
    for (const char16_t u : units) {
        utf16.push_back(static_cast<std::uint8_t>(u & 0xFF));
        utf16.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    check(ParseRegFile(utf16, kRoot));
    check(Parse("\xEF\xBB\xBF" + text));
}

TEST(RegFile, DamagedFilesAreRefusedWithTheirLine)
{
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n";
    const struct {
        std::string text;
        std::size_t line;
    } cases[] = {
        {"REGEDIT4\n", 1},
        {"garbage \x01\x02 here\n", 1},
        {"Windows Registry Editor Version 5.00\n\"A\"=\"1\"\n", 2},            // value before any key
        {"Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\S]\n", 2},  // another hive
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USERX]\n", 2},
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\a\\\\b]\n", 2},
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\a\n", 2},
        {head + "\"A\"=dword:xyz\n", 4},
        {head + "\"A\"=dword:123456789\n", 4},
        {head + "\"A\"=dword:\n", 4},
        {head + "\"A\"=\"open\n", 4},
        {head + "\"A\"=\"one\" \"two\"\n", 4},
        {head + "\"A=\"x\"\n", 4},
        {head + "\"A\"\n", 4},
        {head + "\"A\"=hex:01,zz\n", 4},
        {head + "\"A\"=hex:01,,02\n", 4},
        {head + "\"A\"=hex:123\n", 4},
        {head + "\"A\"=hex(4):01,02,03\n", 4},
        {head + "\"A\"=hex(q):01\n", 4},
        {head + "\"A\"=hex(2\n", 4},
        {head + "\"A\"=hex:01,\\\n", 4},  // continued past the end
        {head + "\"A\"=word:1\n", 4},
        {head + "just text\n", 4},
        {head + "\"A\"=\"\xC3\x28\"\n", 0},  // not UTF-8
        {head + std::string("\"A\"=\"a\0b\"\n", 11), 0},
    };
    for (const auto& c : cases) {
        const ParseResult r = Parse(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.line, c.line) << c.text << " -> " << r.error;
        EXPECT_FALSE(r.error.empty());
    }
    // An odd UTF-16 file.
    const std::vector<std::uint8_t> odd{0xFF, 0xFE, 'W'};
    EXPECT_FALSE(ParseRegFile(odd, kRoot).ok);
}

TEST(RegFile, EmptyFileIsAnEmptyHive)
{
    for (const std::string text : {"", "\n\n  \r\n", "\xEF\xBB\xBF"}) {
        const ParseResult r = Parse(text);
        EXPECT_TRUE(r.ok);
        EXPECT_TRUE(r.hive.Keys().empty());
    }
    EXPECT_TRUE(Parse("Windows Registry Editor Version 5.00").ok);
}

TEST(RegFile, KeysExistThroughTheirChildrenAndSortUnderTheirParent)
{
    Hive hive;
    hive.Make({"Software", "B", "Deep"});
    hive.Make({"Software", "a b"});
    hive.Make({"software", "A"});
    hive.Make({"Software", "A", "x"});
    hive.Make({"Software", "b", "Other"});

    EXPECT_TRUE(hive.Exists({}));
    EXPECT_TRUE(hive.Exists({"SOFTWARE"}));
    EXPECT_TRUE(hive.Exists({"Software", "b"}));
    EXPECT_FALSE(hive.Exists({"Software", "C"}));
    EXPECT_FALSE(hive.Exists({"Software", "B", "Deep", "More"}));
    EXPECT_EQ(hive.Find({"Software"}), nullptr);  // implicit: no section of its own
    EXPECT_EQ(hive.SubKeyNames({"Software"}), (std::vector<std::string>{"A", "a b", "B"}));

    std::vector<KeyPath> order;
    for (const HiveKey* key : hive.Keys())
        order.push_back(key->path);
    EXPECT_EQ(order, (std::vector<KeyPath>{{"software", "A"}, {"Software", "A", "x"}, {"Software", "a b"},
                                           {"Software", "B", "Deep"}, {"Software", "b", "Other"}}));

    hive.Remove({"SOFTWARE", "a"});
    EXPECT_FALSE(hive.Exists({"Software", "A"}));
    EXPECT_TRUE(hive.Exists({"Software", "a b"}));
}

// Whatever a damaged file looks like, reading it never fails badly, and a
// file that does read writes back to itself.
TEST(RegFile, MangledFilesNeverBreakTheReader)
{
    Hive hive;
    HiveKey& key = hive.Make({"Software", "Kestrel"});
    SetValue(key, "S", RegValue::String("text \"q\" \\"));
    SetValue(key, "E", RegValue::ExpandString("%X%"));
    SetValue(key, "D", RegValue::Dword(7));
    SetValue(key, "B", RegValue::Binary(std::vector<std::uint8_t>(90, 0xAB)));
    const std::string original = FormatRegFile(hive, kRoot);

    std::mt19937 random(12345);
    const std::string alphabet = "\"\\[]=:,-@;\n\r x0fhexdword(2)\xC3\xFF";
    for (int round = 0; round < 3000; ++round) {
        std::string text = original;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const std::size_t at = random() % text.size();
            switch (random() % 3) {
            case 0: text[at] = alphabet[random() % alphabet.size()]; break;
            case 1: text.erase(at, 1 + random() % 8); break;
            default: text.insert(at, 1, alphabet[random() % alphabet.size()]); break;
            }
        }
        const ParseResult first = Parse(text);
        if (!first.ok) {
            EXPECT_FALSE(first.error.empty());
            continue;
        }
        const ParseResult second = Parse(FormatRegFile(first.hive, kRoot));
        ASSERT_TRUE(second.ok) << text;
        EXPECT_EQ(Contents(second.hive), Contents(first.hive)) << text;
    }
}

} // namespace
