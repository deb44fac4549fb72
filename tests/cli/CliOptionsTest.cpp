// Exit statuses and messages of salvage-cli for options that cannot work,
// --version, and the refusal to write onto the disk being read.

#include "tests/cli/DiskImage.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using testdata::RunProcess;
using testdata::ShellQuote;
namespace fs = std::filesystem;

namespace {

std::string Cli(const std::string& args)
{
    return ShellQuote(SALVAGE_CLI) + " " + args;
}

class CliOptions : public ::testing::Test {
protected:
    void SetUp() override { dir_ = testdata::MakeTempDir("kestrel-cliopt"); }
    void TearDown() override { fs::remove_all(dir_); }
    std::string dir_;
};

} // namespace

TEST_F(CliOptions, AChoiceOfPartitionIsABadOptionThatNamesThePartitions)
{
    const std::string two = clitest::MakeDiskImage(dir_, true);
    for (const std::string& command : {"list " + ShellQuote(two),
                                       "recover " + ShellQuote(two) + " --to " + ShellQuote(dir_ + "/out")}) {
        SCOPED_TRACE(command);
        const auto r = RunProcess(Cli(command));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("holds several FAT or NTFS partitions"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Partition 1: start sector 2048"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Partition 2: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--partition N"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir_ + "/out"));
    for (const char* partition : {"0", "7"}) {
        const auto r = RunProcess(Cli(std::string("list --partition ") + partition + " " + ShellQuote(two)));
        EXPECT_EQ(r.exitCode, 2) << partition;
        EXPECT_NE(r.err.find("Partition 2: "), std::string::npos) << r.err;
    }
    auto r = RunProcess(Cli("list --partition 1 " + ShellQuote(testdata::ReferenceFatImage())));
    EXPECT_EQ(r.exitCode, 2) << "an unpartitioned volume takes no --partition";
    r = RunProcess(Cli("list --partition 1 /nonexistent.img"));
    EXPECT_EQ(r.exitCode, 1) << "a volume that cannot be read stays a failure, not a bad option";
}

TEST_F(CliOptions, VersionAndRenameCharacters)
{
    auto r = RunProcess(Cli("--version"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "salvage-cli 2.0.0\n");
    const std::string image = ShellQuote(testdata::ReferenceFatImage());
    for (const char* good : {"_", "-"}) {
        r = RunProcess(Cli("recover " + image + " --rename-char " + good + " --to " + ShellQuote(dir_ + "/" + good)));
        EXPECT_EQ(r.exitCode, 0) << good << ": " << r.err;
        EXPECT_TRUE(fs::exists(dir_ + "/" + good + "/" + good + "ING.DAT")) << good;
    }
    r = RunProcess(Cli("recover " + image + " --rename-char . --to " + ShellQuote(dir_ + "/bad")));
    EXPECT_EQ(r.exitCode, 2) << "a leading dot would hide the file";
}

TEST_F(CliOptions, TheVolumeBeingReadIsNotWrittenTo)
{
    // The block device this test's own folder lies on, when there is one to name.
    struct stat st {};
    ASSERT_EQ(0, ::stat(dir_.c_str(), &st));
    std::ifstream uevent("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                         std::to_string(minor(st.st_dev)) + "/uevent");
    std::string device;
    for (std::string line; std::getline(uevent, line);)
        if (line.rfind("DEVNAME=", 0) == 0)
            device = "/dev/" + line.substr(8);
    struct stat node {};
    if (device.empty() || ::stat(device.c_str(), &node) != 0 || !S_ISBLK(node.st_mode) || node.st_rdev != st.st_dev)
        GTEST_SKIP() << "the temporary folder lies on no block device with a node in /dev";

    auto r = RunProcess(Cli("recover " + device + " --to " + ShellQuote(dir_ + "/out")));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("lies on the volume being recovered (" + device + ")"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--allow-same-disk"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ + "/out")) << "refused before the device is even opened";
    // (--allow-same-disk is not tried here: it would recover from this machine's own disk onto itself.)
}
