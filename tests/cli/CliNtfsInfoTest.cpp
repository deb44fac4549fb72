#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>

using testdata::RunProcess;
using testdata::ShellQuote;

TEST(CliNtfsInfo, ReferenceImageGeometry)
{
    const auto r = RunProcess(ShellQuote(SALVAGE_CLI) + " info " + ShellQuote(testdata::ReferenceNtfsImage()));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "File system: NTFS\nBytes per sector: 512\nSectors per cluster: 2\nMFT cluster: 2005\n"
                     "MFT record size: 1024\nMFT records: 39\n");
}

TEST(CliNtfsInfo, JsonObjectForAGeneratedVolume)
{
    const auto r =
        RunProcess(ShellQuote(SALVAGE_CLI) + " info --json " + ShellQuote(testdata::NtfsVolume("ntfs4kn").image));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("{\"kind\":\"NTFS\",\"bytes_per_sector\":4096,\"sectors_per_cluster\":1,"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"record_size\":4096,\"record_count\":"), std::string::npos) << r.out;
}

TEST(CliNtfsInfo, ClustersOfTwoMebibytes)
{
    const auto r = RunProcess(ShellQuote(SALVAGE_CLI) + " info " + ShellQuote(testdata::NtfsVolume("ntfs2m").image));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Bytes per sector: 512\nSectors per cluster: 4096\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("MFT record size: 1024\n"), std::string::npos) << r.out;
}

TEST(CliNtfsInfo, AnUnusableNtfsVolumeFailsWithItsReason)
{
    const std::string dir = testdata::MakeTempDir("cli-ntfs");
    auto bytes = testdata::ReadFileBytes(testdata::NtfsVolume("ntfs4k").image);
    bytes[64] = 0;  // no MFT record size
    testdata::WriteFileBytes(dir + "/bad.img", bytes);
    const auto r = RunProcess(ShellQuote(SALVAGE_CLI) + " info " + ShellQuote(dir + "/bad.img"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no usable MFT record size"), std::string::npos) << r.err;
    std::filesystem::remove_all(dir);
}
