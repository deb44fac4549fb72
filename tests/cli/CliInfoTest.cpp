#include "tests/cli/DiskImage.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using testdata::RunProcess;
using testdata::ShellQuote;

namespace {

std::string Cli(const std::string& args)
{
    return ShellQuote(SALVAGE_CLI) + " " + args;
}

} // namespace

TEST(CliInfo, ReferenceImageGeometry)
{
    const auto r = RunProcess(Cli("info " + ShellQuote(testdata::ReferenceFatImage())));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("File system: FAT16\n"), std::string::npos) << r.out;
    for (const char* line : {"Bytes per sector: 512\n", "Sectors per cluster: 2\n", "Reserved sectors: 8\n",
                             "Number of FATs: 2\n", "Sectors per FAT: 24\n", "Root entries: 512\n",
                             "DataStart: 88\n", "Root directory key: 56\n",
                             "Volume label: FAT_REC_1\n"})  // the label entry is no file, but named here
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
}

TEST(CliInfo, JsonObject)
{
    const auto r = RunProcess(Cli("info --json " + ShellQuote(testdata::ReferenceFatImage())));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"kind\":\"FAT16\",\"bytes_per_sector\":512,\"sectors_per_cluster\":2,\"reserved_sectors\":8,"
              "\"fat_count\":2,\"sectors_per_fat\":24,\"root_entries\":512,\"fat_start\":8,\"data_start\":88,"
              "\"fat_type\":1,\"root_key\":56,\"label\":\"FAT_REC_1\"}\n");
}

TEST(CliInfo, GeneratedVolumesReportTheirKinds)
{
    for (const auto& [name, kind] : {std::pair{"fat12", "FAT12"}, {"fat16", "FAT16"}, {"fat32", "FAT32"}}) {
        const auto r = RunProcess(Cli("info --json " + ShellQuote(testdata::FatVolume(name).image)));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("\"kind\":\"") + kind + "\""), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(std::string("\"label\":\"KESTREL") + (kind + 3) + "\""), std::string::npos) << r.out;
    }
}

TEST(CliInfo, FailuresGiveAMessageAndANonZeroStatus)
{
    auto r = RunProcess(Cli("info /nonexistent.img"));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;

    const std::string dir = testdata::MakeTempDir("kestrel-cli");
    testdata::WriteFileBytes(dir + "/zeros.img", std::vector<std::uint8_t>(1 << 20, 0));
    r = RunProcess(Cli("info " + ShellQuote(dir + "/zeros.img")));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("No valid supported file system present on the volume."), std::string::npos) << r.err;

    r = RunProcess(Cli("info --bogus x"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown option --bogus"), std::string::npos);
    r = RunProcess(Cli("frobnicate"));
    EXPECT_EQ(r.exitCode, 2);
    std::filesystem::remove_all(dir);
}

TEST(CliInfo, WholeDiskImageUsesItsOnlyFatPartition)
{
    const std::string dir = testdata::MakeTempDir("kestrel-cli");
    const std::string disk = clitest::MakeDiskImage(dir, false);
    auto r = RunProcess(Cli("info " + ShellQuote(disk)));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Partition 1: start sector 2048, 32768 sectors, type 0x0E, FAT16"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Partition 2:"), std::string::npos);
    EXPECT_NE(r.out.find("File system: FAT16"), std::string::npos);
    EXPECT_NE(r.out.find("Root directory key: "), std::string::npos);

    r = RunProcess(Cli("info --partition 2 " + ShellQuote(disk)));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("No valid supported file system"), std::string::npos);
    r = RunProcess(Cli("info --partition 7 " + ShellQuote(disk)));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("has no partition 7"), std::string::npos) << r.err;
    r = RunProcess(Cli("info --partition x " + ShellQuote(disk)));
    EXPECT_NE(r.exitCode, 0);
    std::filesystem::remove_all(dir);
}

TEST(CliInfo, TwoFatPartitionsNeedAChoice)
{
    const std::string dir = testdata::MakeTempDir("kestrel-cli");
    const std::string disk = clitest::MakeDiskImage(dir, true);
    auto r = RunProcess(Cli("info --json " + ShellQuote(disk)));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"partitions\":[{\"number\":1"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\"kind\":\"FAT16\",\"bytes"), std::string::npos) << "no partition chosen";
    r = RunProcess(Cli("info --json --partition 2 " + ShellQuote(disk)));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"partition\":2,\"kind\":\"FAT16\""), std::string::npos) << r.out;
    std::filesystem::remove_all(dir);
}
