// Recovery of files as current Windows versions write them, byte-exact
// against the bytes written and against libntfs-3g's own reading (ntfscat)
// and sleuthkit's (icat): clusters of 4 KiB to 2 MiB, compressed files,
// data in extent records, named streams of live and deleted files, and
// encrypted files recovered as stored with a report that says so.

#include "RecoveryTestSupport.h"
#include "salvage/fs/NTFS.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace salvage;
using namespace recovertest;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

bool Have(const char* tool)
{
    return testdata::RunProcess(std::string("command -v ") + tool + " >/dev/null 2>&1").exitCode == 0;
}

// What an outside reader gives for a record's stream, or nullopt when it
// would not read it.
std::optional<Bytes> Outside(const std::string& command, const std::string& dir)
{
    const std::string out = dir + "/outside.bin";
    if (testdata::RunProcess(command + " > " + testdata::ShellQuote(out) + " 2>/dev/null").exitCode != 0)
        return std::nullopt;
    return testdata::ReadFileBytes(out);
}

class NtfsFeatureRecovery : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        out_ = testdata::MakeTempDir("kestrel-ntfsfeat");
        scratch_ = testdata::MakeTempDir("kestrel-ntfsfeat-tools");
    }
    void TearDown() override
    {
        fs::remove_all(out_);
        fs::remove_all(scratch_);
    }
    std::string out_;
    std::string scratch_;
};

} // namespace

TEST_P(NtfsFeatureRecovery, EveryFileAndStreamByteExact)
{
    const auto vol = testdata::NtfsVolume(GetParam());
    auto v = Analyse(vol.image);
    ASSERT_TRUE(v);
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, AllTopLevelJob(*v, out_, true), sink, answer);

    std::map<std::string, std::uint32_t> records;
    std::map<std::string, bool> deleted;
    for (const auto& m : testdata::ReadNtfsManifest(vol.manifest)) {
        records[m.entry.path] = m.record;
        deleted[m.entry.path] = m.entry.deleted;
    }
    const bool ntfscat = Have("ntfscat");
    // sleuthkit reads clusters of up to 64 KiB only.
    const bool icat = Have("icat") && testdata::RunProcess("fsstat " + testdata::ShellQuote(vol.image) +
                                                           " >/dev/null 2>&1").exitCode == 0;
    if (std::string(GetParam()) == "ntfsfeat") {
        EXPECT_TRUE(icat || !Have("icat"));
    }
    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(vol.source)) {
        if (!entry.is_regular_file())
            continue;
        const std::string path = entry.path().string().substr(vol.source.size());
        const auto colon = path.find(':');
        const std::string file = path.substr(0, colon);
        const std::string stream = colon == std::string::npos ? "" : path.substr(colon + 1);
        if (!records.count(file) || (deleted[file] && path.find("/frag/") != std::string::npos))
            continue;  // libntfs-3g took the extents of a deleted listed file
        SCOPED_TRACE(path);
        const Bytes source = testdata::ReadFileBytes(entry.path().string());
        ASSERT_TRUE(fs::exists(out_ + path));
        EXPECT_EQ(testdata::ReadFileBytes(out_ + path), source);
        ++checked;
        const std::string n = std::to_string(records[file]);
        const bool encrypted = path.find("secret") != std::string::npos;
        if (ntfscat && !deleted[file] && !encrypted) {
            const auto outside = Outside("ntfscat -i " + n + (stream.empty() ? "" : " -n " + stream) + " " +
                                             testdata::ShellQuote(vol.image),
                                         scratch_);
            ASSERT_TRUE(outside);
            EXPECT_EQ(*outside, source) << "ntfscat";
        }
        if (icat && stream.empty()) {
            const auto outside = Outside("icat " + testdata::ShellQuote(vol.image) + " " + n, scratch_);
            ASSERT_TRUE(outside);
            EXPECT_EQ(*outside, source) << "icat";
        }
    }
    EXPECT_GE(checked, std::string(GetParam()) == "ntfsfeat" ? 13 : 5);

    // Encrypted files are written as stored, and said to be so.
    for (const auto& f : s.Failures)
        ADD_FAILURE() << f.Path << ": " << f.Message;
    std::size_t encryptedReports = 0;
    for (const auto& f : s.PartialFiles) {
        if (f.Message.find("encrypted") != std::string::npos)
            ++encryptedReports;
        else
            ADD_FAILURE() << f.Path << ": " << f.Message;
    }
    EXPECT_EQ(encryptedReports, std::string(GetParam()) == "ntfsfeat" ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsFeatureRecovery, ::testing::Values("ntfsfeat", "ntfs128k", "ntfs1m", "ntfs2m"));

TEST(NtfsFeatureRecoveryCases, AUnitThatDoesNotDecompressBecomesZerosAndTheFileIsPartial)
{
    const auto vol = testdata::NtfsVolume("ntfsfeat");
    std::uint32_t record = 0;
    for (const auto& m : testdata::ReadNtfsManifest(vol.manifest))
        if (m.entry.path == "/comp17.txt")
            record = m.record;
    Bytes image = testdata::ReadFileBytes(vol.image);
    {
        // The first cluster of the first unit: its chunk headers lose their signature.
        platform::OpenError error;
        TNTFS ntfs;
        std::uint64_t count = 0;
        ASSERT_TRUE(ntfs.OpenNTFSVolume(platform::OpenVolumeReadOnly(vol.image, error), count).Ok());
        Bytes rec(ntfs.RecordSize());
        ASSERT_TRUE(ntfs.ReadMFTRecord(record, rec));
        const auto stream = ntfs.ReadStream(rec, record, u"");
        ASSERT_TRUE(stream && stream->Compressed() && !stream->Runs.empty());
        ASSERT_FALSE(stream->Runs[0].Sparse);
        std::fill_n(image.begin() + static_cast<long>(stream->Runs[0].Lcn * ntfs.ClusterBytes()), 16, 0xFF);
    }
    const std::string dir = testdata::MakeTempDir("kestrel-badunit");
    const std::string imagePath = dir + "/bad.img";
    testdata::WriteFileBytes(imagePath, image);
    const std::string out = dir + "/out";
    fs::create_directories(out);
    auto v = Analyse(imagePath);
    ASSERT_TRUE(v);
    const TPathMatch match = FindByPath(v->model.Tree(), "./comp17.txt");
    ASSERT_EQ(match.Files.size(), 1u);
    TRecoveryJob job;
    job.TargetPath = out;
    job.SelectedFiles = {match.Files[0]};
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, job, sink, answer);
    EXPECT_TRUE(s.Failures.empty());
    ASSERT_EQ(s.PartialFiles.size(), 1u);
    EXPECT_NE(s.PartialFiles[0].Message.find("1 compressed units"), std::string::npos) << s.PartialFiles[0].Message;
    const Bytes got = testdata::ReadFileBytes(out + "/comp17.txt");
    const Bytes source = testdata::ReadFileBytes(vol.source + "/comp17.txt");
    ASSERT_EQ(got.size(), source.size());
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 65536), Bytes(65536, 0));
    EXPECT_EQ(Bytes(got.begin() + 65536, got.end()), Bytes(source.begin() + 65536, source.end()));
    fs::remove_all(dir);
}

TEST(NtfsFeatureRecoveryCases, TheSequenceNumberDecidesWhetherTheRecordIsStillTheFile)
{
    const auto vol = testdata::NtfsVolume("ntfsfeat");
    auto v = Analyse(vol.image);
    ASSERT_TRUE(v);
    const TPathMatch match = FindByPath(v->model.Tree(), "./adsgone.txt:hidden");
    ASSERT_EQ(match.Files.size(), 1u);
    const TFileInfo found = *match.Files[0].File();
    TFileInfo older = found;  // the same record before it was freed and taken again
    older.FullRef = ntfs::MakeReference(found.FileRef, ntfs::SequenceOf(found.FullRef) - 1);
    older.Name = "older";
    TFileInfo live = found;  // found in use: the record is free now
    live.Deleted = false;
    live.Name = "live";
    const std::string out = testdata::MakeTempDir("kestrel-seq");
    TResultsTree holder;
    TTreeNode* folder = holder.AddChild(nullptr, "held", NewDirNode());
    holder.AppendFile(*folder, found);
    holder.AppendFile(*folder, older);
    holder.AppendFile(*folder, live);
    TRecoveryJob job;
    job.TargetPath = out;
    job.SelectedFiles = {{folder, 0}, {folder, 1}, {folder, 2}};
    RecordingSink sink;
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    const TRecoverySummary s = RunJob(*v, job, sink, answer);
    EXPECT_EQ(s.FilesWritten, 1u);
    EXPECT_EQ(s.Skipped, 2u);
    EXPECT_EQ(testdata::ReadFileBytes(out + "/adsgone.txt:hidden"),
              testdata::ReadFileBytes(vol.source + "/adsgone.txt:hidden"));
    EXPECT_FALSE(fs::exists(out + "/older"));
    fs::remove_all(out);
}
