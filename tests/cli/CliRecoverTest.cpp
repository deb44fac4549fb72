#include "tests/support/Md5.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>

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
    EXPECT_TRUE(fs::exists(dir_ + "/out/?IR1/DIR2/FRAG3.DAT")) << "folder names above the selection are kept as found";
    EXPECT_TRUE(fs::exists(dir_ + "/out/QING.DAT"));
    EXPECT_NE(r.out.find("{\"event\":\"summary\",\"files\":2,\"bytes\":2807,\"skipped\":0,\"failed\":0}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"event\":\"file\",\"path\":"), std::string::npos);
    EXPECT_NE(r.out.find("/out/QING.DAT\",\"size\":780,\"clusters\":\"gaps\",\"ambiguous\":false}"),
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
