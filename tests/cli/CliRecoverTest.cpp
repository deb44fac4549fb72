#include "tests/support/Md5.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/stat.h>

using testdata::Lines;
using testdata::RunProcess;
using testdata::ShellQuote;
namespace fs = std::filesystem;

namespace {

class CliRecover : public ::testing::Test {
protected:
    void SetUp() override { dir_ = testdata::MakeTempDir("kestrel-clirec"); }
    void TearDown() override { fs::remove_all(dir_); }

    testdata::ProcessResult Recover(const std::string& options, const std::string& image)
    {
        return RunProcess(ShellQuote(SALVAGE_CLI) + " recover " + ShellQuote(image) + " --to " +
                          ShellQuote(dir_ + "/out") + " " + options);
    }
    std::string Md5Of(const std::string& relative)
    {
        return testdata::Md5Hex(testdata::ReadFileBytes(dir_ + "/out/" + relative));
    }
    std::string dir_;
};

} // namespace

TEST_F(CliRecover, ReferenceFatImageIntoAMissingFolder)
{
    const auto r = Recover("", testdata::ReferenceFatImage());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Md5Of("_ING.DAT"), "59b20779f69ff9f0ac5fcd2c38835a79");
    EXPECT_EQ(Md5Of("_IR1/MULT2.DAT"), "59cf0e9cd107bc1e75afb7374f6e05bb");
    // Each deleted file says which rule placed its clusters.
    EXPECT_NE(r.out.find(dir_ + "/out/_ING.DAT\t780\tgaps\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(dir_ + "/out/_RAG1.DAT\t1584\tgaps, ambiguous\n"), std::string::npos) << r.out;
    EXPECT_EQ(Md5Of("_RAG1.DAT"), "7a3bc5b763bef201202108f4ba128149");
    EXPECT_NE(r.out.find("Recovered 6 files, 13780 bytes; 0 skipped, 0 failed."), std::string::npos) << r.out;
}

TEST_F(CliRecover, PathsStructureAndJson)
{
    const auto r = Recover("--json --structure --rename-char Q --path ./?IR1/DIR2/FRAG3.DAT --path ./?ING.DAT",
                           testdata::ReferenceFatImage());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir_ + "/out/QIR1/DIR2/FRAG3.DAT")) << "folders above the selection are renamed too";
    EXPECT_TRUE(fs::exists(dir_ + "/out/QING.DAT"));
    EXPECT_NE(r.out.find("{\"event\":\"summary\",\"files\":2,\"bytes\":2807,\"skipped\":0,\"failed\":0,"
                         "\"partial\":0,\"renamed\":0}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"event\":\"file\",\"path\":\"" + dir_ + "/out/QING.DAT\",\"size\":780,"
                         "\"name\":\"QING.DAT\",\"found_name\":\"?ING.DAT\",\"renamed\":false,\"partial\":false,"
                         "\"clusters\":\"gaps\",\"ambiguous\":false}"),
              std::string::npos)
        << r.out;
}

TEST_F(CliRecover, StructureWritesNoBrokenNameAnywhere)
{
    const std::string image = testdata::ReferenceFatImage();
    // With or without the leading "./", and "_" given as the default it is.
    for (const char* options : {"--structure --path ./?IR1/DIR2/FRAG3.DAT",
                                "--structure --rename-char _ --path ?IR1/DIR2/FRAG3.DAT"}) {
        SCOPED_TRACE(options);
        const auto r = Recover(options, image);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Md5Of("_IR1/DIR2/FRAG3.DAT"), "21121699487f3fbbdb9a4b3391b6d3e0") << "the original digest";
        for (const auto& e : fs::recursive_directory_iterator(dir_ + "/out"))
            EXPECT_EQ(e.path().filename().string().find('?'), std::string::npos) << e.path();
        fs::remove_all(dir_ + "/out");
    }
    // A skipped broken folder above the selection takes the selection with it.
    const auto r = Recover("--structure --skip-broken --path ./?IR1/DIR2/FRAG3.DAT", image);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_empty(dir_ + "/out"));
    EXPECT_NE(r.out.find("Recovered 0 files, 0 bytes; 1 skipped, 0 failed."), std::string::npos) << r.out;
}

TEST_F(CliRecover, CollidingNamesAreWrittenBesideEachOtherAndSaySo)
{
    const std::string image = testdata::Path("fat/collisions.img");
    auto r = Recover("", image);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(dir_ + "/out/_ILE1.TXT\t1500\tgaps\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(dir_ + "/out/_ILE1 (2).TXT\t2500\tgaps\trenamed (name taken), found as ?ILE1.TXT\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Recovered 6 files (2 under another name), 9200 bytes; 0 skipped, 0 failed."),
              std::string::npos)
        << r.out;
    r = Recover("--json --path ./?ILE1.TXT", image);
    EXPECT_NE(r.out.find("\"path\":\"" + dir_ + "/out/_ILE1 (3).TXT\",\"size\":1500,\"name\":\"_ILE1 (3).TXT\","
                         "\"found_name\":\"?ILE1.TXT\",\"renamed\":true"),
              std::string::npos)
        << r.out;
}

TEST_F(CliRecover, ConsecutiveClustersOnRequest)
{
    auto r = Recover("--fat-clusters consecutive --path ./?RAG2.DAT", testdata::ReferenceFatImage());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Md5Of("_RAG2.DAT"), "965370acfa85aa7e26ab04bbd45cdcae") << "the contiguous digest";
    EXPECT_NE(r.out.find("_RAG2.DAT\t3873\tconsecutive\n"), std::string::npos) << r.out;
    r = Recover("--fat-clusters nearest", testdata::ReferenceFatImage());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--fat-clusters takes \"gaps\" or \"consecutive\""), std::string::npos) << r.err;
}

TEST_F(CliRecover, SkipBrokenAndRecoverAll)
{
    const auto r = Recover("--skip-broken --all", testdata::ReferenceFatImage());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir_ + "/out/System Volume Information")) << "names without ? are kept";
    EXPECT_FALSE(fs::exists(dir_ + "/out/FAT_REC_.1")) << "the volume label is no file";
    EXPECT_FALSE(fs::exists(dir_ + "/out/_ING.DAT"));
    EXPECT_NE(r.out.find("skipped, 0 failed"), std::string::npos) << r.out;
}

TEST_F(CliRecover, BadOptionsLoseNothing)
{
    const std::string image = testdata::ReferenceFatImage();
    auto r = Recover("--path ./NOPE.TXT", image);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("names no folder or file"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ + "/out")) << "nothing is created before the selection is known";
    r = Recover("--rename-char ab", image);
    EXPECT_EQ(r.exitCode, 2);
    r = Recover("--rename-char / ", image);
    EXPECT_EQ(r.exitCode, 2);
    r = Recover("--rename-char X --skip-broken", image);
    EXPECT_EQ(r.exitCode, 2);
    r = RunProcess(ShellQuote(SALVAGE_CLI) + " recover " + ShellQuote(image));
    EXPECT_EQ(r.exitCode, 2) << "--to is required";
}

TEST_F(CliRecover, NothingRecoveredBecauseOfAnErrorGivesAFailureStatus)
{
    testdata::WriteFileBytes(dir_ + "/out", {1});
    const auto r = Recover("", testdata::ReferenceFatImage());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Not a directory"), std::string::npos) << r.err;
}

namespace {

// The value of `"key":` in a JSON line, without quotes (no escapes in the values used here).
std::string JsonValue(const std::string& line, const std::string& key)
{
    const std::size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos)
        return {};
    std::size_t start = at + key.size() + 3;
    if (line[start] == '"')
        return line.substr(start + 1, line.find('"', start + 1) - start - 1);
    return line.substr(start, line.find_first_of(",}", start) - start);
}

// "YYYY-MM-DDThh:mm:ss" of a file's modification time in the test's local time.
std::string LocalModified(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "missing";
    std::tm tm{};
    localtime_r(&st.st_mtim.tv_sec, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    return text;
}

} // namespace

TEST_F(CliRecover, ModificationTimesEqualTheListing)
{
    // Both commands and this test read dates in one zone that keeps daylight saving time.
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    // (FAT dates are checked by the engine's collision test.)
    for (const std::string& image : {testdata::NtfsVolume("ntfs4k").image, testdata::ReferenceNtfsImage()}) {
        SCOPED_TRACE(image);
        const auto list = RunProcess("TZ=Europe/Berlin " + ShellQuote(SALVAGE_CLI) + " list --json " + ShellQuote(image));
        ASSERT_EQ(list.exitCode, 0) << list.err;
        std::multimap<std::string, std::string> modified;  // name and size -> date
        for (const std::string& line : Lines(list.out))
            if (JsonValue(line, "type") == "file")
                modified.emplace(JsonValue(line, "name") + "|" + JsonValue(line, "size"), JsonValue(line, "modified"));
        const auto r = RunProcess("TZ=Europe/Berlin " + ShellQuote(SALVAGE_CLI) + " recover " + ShellQuote(image) +
                                  " --all --json --to " + ShellQuote(dir_ + "/out"));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        int checked = 0;
        for (const std::string& line : Lines(r.out)) {
            if (JsonValue(line, "event") != "file")
                continue;
            const std::string path = JsonValue(line, "path");
            const auto [from, to] = modified.equal_range(JsonValue(line, "found_name") + "|" + JsonValue(line, "size"));
            ASSERT_NE(from, to) << line;
            if (from->second == "null")
                continue;  // no date known: the file keeps the time it was written
            const std::string actual = LocalModified(path);
            EXPECT_TRUE(std::any_of(from, to, [&](const auto& m) { return m.second == actual; }))
                << path << " is dated " << actual << ", the listing says " << from->second;
            ++checked;
        }
        EXPECT_GE(checked, 6);
        fs::remove_all(dir_ + "/out");
    }
    if (previous)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
