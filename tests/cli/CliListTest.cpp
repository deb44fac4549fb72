#include "salvage/cli/ListOutput.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

using testdata::Lines;
using testdata::RunProcess;
using testdata::ShellQuote;

namespace {

std::string Cli(const std::string& args)
{
    return ShellQuote(SALVAGE_CLI) + " " + args;
}

const std::string kReferenceList =
    "Type  State            Size  Cond         Ref  Path\n"
    "dir   live                -  -             56  .\n"
    "file  deleted          1584  Good           2  ./?RAG1.DAT\n"
    "file  deleted          3873  Good           3  ./?RAG2.DAT\n"
    "file  deleted           780  Good           7  ./?ING.DAT\n"
    "file  deleted          3801  Good           8  ./?ULT1.DAT\n"
    "dir   deleted             -  -             13  ./?IR1\n"
    "file  deleted          1715  Good          18  ./?IR1/MULT2.DAT\n"
    "dir   deleted             -  -             16  ./?IR1/DIR2\n"
    "file  deleted          2027  Good          17  ./?IR1/DIR2/FRAG3.DAT\n"
    "dir   deleted             -  -             14  ./System Volume Information\n"
    "dir   deleted             -  -             15  ./System Volume Information/"
    "_restore{A25F48CA-6632-4143-8EF8-3586A84AB5AF}\n"
    "dir   deleted             -  -             16  ./System Volume Information/"
    "_restore{A25F48CA-6632-4143-8EF8-3586A84AB5AF}/?P1\n";

} // namespace

TEST(CliList, ReferenceImageTree)
{
    const std::string image = ShellQuote(testdata::ReferenceFatImage());
    auto r = RunProcess(Cli("list " + image));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, kReferenceList);
    EXPECT_EQ(r.err, "") << "no progress when stderr is not a terminal";

    // The filtered tree: the same, since the volume label is no file and
    // everything else is deleted.
    r = RunProcess(Cli("list --deleted --verbose " + image));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, kReferenceList);
    EXPECT_EQ(r.err, "0 directory slots passed over: no FAT driver writes such entries\n");
}

TEST(CliList, JsonLines)
{
    const std::string image = ShellQuote(testdata::ReferenceFatImage());
    auto r = RunProcess(Cli("list --json " + image));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines.back(), "{\"event\":\"summary\",\"implausible_entries\":0}");
    EXPECT_EQ(lines[0], "{\"path\":\".\",\"name\":\".\",\"type\":\"dir\",\"deleted\":false,\"size\":null,"
                        "\"condition\":\"\",\"ref\":56,\"modified\":null,\"created\":null}");
    EXPECT_EQ(lines[6], "{\"path\":\"./?IR1/MULT2.DAT\",\"name\":\"MULT2.DAT\",\"type\":\"file\",\"deleted\":true,"
                        "\"size\":1715,\"condition\":\"Good\",\"ref\":18,\"modified\":\"2004-02-14T12:54:22\","
                        "\"created\":\"2004-02-14T12:54:20\",\"stream\":null,\"encrypted\":false,\"compressed\":false}");

    r = RunProcess(Cli("list --json --no-condition --deleted " + image));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("\"Good\""), std::string::npos);
    EXPECT_EQ(Lines(r.out).size(), 13u);

    // Long names, live and deleted, on a generated volume.
    r = RunProcess(Cli("list --json " + ShellQuote(testdata::FatVolume("fat32").image)));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("{\"path\":\"./Deleted long name.txt\",\"name\":\"Deleted long name.txt\",\"type\":\"file\","
                         "\"deleted\":true,\"size\":2500,"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"path\":\"./OldFolder/Sub\",\"name\":\"Sub\",\"type\":\"dir\",\"deleted\":true"),
              std::string::npos);
}

TEST(CliList, NtfsReferenceImage)
{
    auto r = RunProcess(Cli("list --deleted --json " + ShellQuote(testdata::ReferenceNtfsImage())));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("{\"path\":\"$$folder_37/sing2.dat\",\"name\":\"sing2.dat\",\"type\":\"file\","
                         "\"deleted\":true,\"size\":1005,\"condition\":\"Good\",\"ref\":38,"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"path\":\"./dir1/dir2/frag3.dat\""), std::string::npos);
    EXPECT_EQ(r.out.find("$MFT"), std::string::npos) << "live system files are not in the deleted view";
}

TEST(CliList, NtfsStreamsEncryptionAndCompression)
{
    // The reference image's deleted named stream is a row of its own.
    auto r = RunProcess(Cli("list --deleted --json " + ShellQuote(testdata::ReferenceNtfsImage())));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("{\"path\":\"./mult1.dat:ADS\",\"name\":\"mult1.dat:ADS\",\"type\":\"file\","
                         "\"deleted\":true,\"size\":1234,\"condition\":\"Good\",\"ref\":32,"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"stream\":\"ADS\",\"encrypted\":false,\"compressed\":false}"), std::string::npos);
    EXPECT_NE(r.out.find("\"name\":\"mult1.dat\""), std::string::npos);

    const std::string image = ShellQuote(testdata::NtfsVolume("ntfsfeat").image);
    r = RunProcess(Cli("list " + image));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("./secret.bin  (encrypted: recovered as stored, unreadable without the owner's key)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("./comp17.txt  (compressed)\n"), std::string::npos);
    EXPECT_NE(r.out.find("./withads.txt:big\n"), std::string::npos);
    // The system's own streams only when asked for.
    EXPECT_EQ(r.out.find("$Secure:$SDS"), std::string::npos);
    r = RunProcess(Cli("list --json --system-streams " + image));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"name\":\"$Secure:$SDS\""), std::string::npos);
    EXPECT_NE(r.out.find("\"name\":\"secretgone.bin\",\"type\":\"file\",\"deleted\":true"), std::string::npos);
    EXPECT_NE(r.out.find("\"encrypted\":true"), std::string::npos);
}

TEST(CliList, VolumesItCannotList)
{
    testdata::ProcessResult r;
    const std::string dir = testdata::MakeTempDir("kestrel-list");
    testdata::WriteFileBytes(dir + "/zeros.img", std::vector<std::uint8_t>(1 << 20, 0));
    r = RunProcess(Cli("list " + ShellQuote(dir + "/zeros.img")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "No valid supported file system present on the volume.\n");

    // A FAT boot sector with no sector size is refused, not searched.
    auto bytes = testdata::ReadFileBytes(testdata::FatVolume("fat16").image);
    bytes[11] = bytes[12] = 0;
    testdata::WriteFileBytes(dir + "/nosize.img", bytes);
    r = RunProcess(Cli("list " + ShellQuote(dir + "/nosize.img")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no sector or cluster size"), std::string::npos) << r.err;

    r = RunProcess(Cli("list /nonexistent.img"));
    EXPECT_EQ(r.exitCode, 1);
    r = RunProcess(Cli("list --bogus x"));
    EXPECT_EQ(r.exitCode, 2);
    r = RunProcess(Cli("list"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("usage: salvage-cli list"), std::string::npos);
    std::filesystem::remove_all(dir);
}

// A listing that cannot be written whole (a full disk) is a failure, said
// in the system's words, not a listing cut short with a status of success.
TEST(CliList, AListingThatCannotBeWrittenFails)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    const std::string image = ShellQuote(testdata::NtfsVolume("ntfsfeat").image);
    for (const char* mode : {"list ", "list --json "}) {
        auto r = RunProcess(Cli(mode + image + " > /dev/full"));
        EXPECT_EQ(r.exitCode, 1) << mode;
        EXPECT_NE(r.err.find("the listing could not be written: No space left on device"), std::string::npos)
            << mode << r.err;
    }
}

// Lines of every length go out whole and in order across many blocks, and
// the first failed write is what Finish() reports.
TEST(ListOutput, LinesArriveWholeAcrossBlocks)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::string expected;
    {
        salvage::cli::TListOutput out(file, 100);
        for (int i = 0; i < 5000; ++i) {
            const std::string line = std::to_string(i) + std::string(static_cast<std::size_t>(i % 300), 'x');
            if (i % 2 == 0) {
                out.Line(line);
            } else {
                out.Text() += line;
                out.EndLine();
            }
            expected += line + "\n";
        }
        ASSERT_TRUE(out.Finish()) << out.Error();
    }
    std::rewind(file);
    std::string written;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        written.append(buffer, got);
    std::fclose(file);
    EXPECT_EQ(written, expected);

    if (std::FILE* full = std::fopen("/dev/full", "w")) {
        salvage::cli::TListOutput out(full, 100);
        for (int i = 0; i < 100; ++i)
            out.Line("a line that has nowhere to go");
        EXPECT_FALSE(out.Finish());
        EXPECT_EQ(out.Error(), "No space left on device");
        EXPECT_FALSE(out.Finish()) << "and it stays failed";
        std::fclose(full);
    }
}
