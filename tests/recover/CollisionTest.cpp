// Names that collide in the target, files that cannot be written at all, and
// the dates recovered files and folders get, on collisions.img (mkfs.fat +
// mtools, tests/volumes/make-fat-collisions.sh).

#include "RecoveryTestSupport.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <tuple>
#include <filesystem>
#include <sys/stat.h>

using namespace salvage;
using namespace recovertest;
namespace fs = std::filesystem;

namespace {

// Dates are read back in a zone with daylight saving time: a date converted
// with today's offset instead of its own day's would be an hour off.
class Collisions : public ::testing::Test {
protected:
    void SetUp() override
    {
        out_ = testdata::MakeTempDir("kestrel-collide");
        if (const char* tz = std::getenv("TZ"))
            savedTz_ = tz;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override
    {
        fs::remove_all(out_);
        if (savedTz_)
            setenv("TZ", savedTz_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static std::vector<std::uint8_t> Source(const std::string& path)
    {
        return testdata::ReadFileBytes(testdata::Path("fat/collisions.src") + path);
    }
    std::vector<std::uint8_t> Out(const std::string& relative) const
    {
        return testdata::ReadFileBytes(out_ + "/" + relative);
    }
    std::size_t FilesOnDisk() const
    {
        std::size_t n = 0;
        for (const auto& e : fs::recursive_directory_iterator(out_))
            n += e.is_regular_file() ? 1 : 0;
        return n;
    }
    TRecoverySummary RecoverEverything(const std::string& image, RecordingSink& sink)
    {
        v_ = Analyse(image);
        TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
        return v_ ? RunJob(*v_, AllTopLevelJob(*v_, out_, false), sink, answer) : TRecoverySummary{};
    }

    std::string out_;
    std::optional<std::string> savedTz_;
    std::unique_ptr<AnalysedVolume> v_;
};

// A file's time shows the found date's local fields.
void ExpectDate(const timespec& t, TDateTime expected, const std::string& what)
{
    std::tm tm{};
    localtime_r(&t.tv_sec, &tm);
    const DateTimeFields e = DecodeDateTime(expected);
    EXPECT_EQ(std::make_tuple(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec),
              std::make_tuple(e.Year, e.Month, e.Day, e.Hour, e.Minute, e.Second))
        << what << ": " << FormatIsoDateTime(expected);
}

} // namespace

TEST_F(Collisions, NothingIsOverwrittenEveryFileIsThereWithItsDates)
{
    // A file of the user's that has the name the deleted README.TXT comes out under.
    testdata::WriteFileBytes(out_ + "/_EADME.TXT", {'m', 'i', 'n', 'e'});
    RecordingSink sink;
    const TRecoverySummary s = RecoverEverything(testdata::Path("fat/collisions.img"), sink);
    ASSERT_TRUE(v_);
    // Every file carries its found dates (FAT keeps the access day only), the
    // folder its own, set after its files went in. Read before the files
    // are: reading them moves the access time.
    for (const TTreeNode* n = v_->model.Tree().First(); n != nullptr; n = v_->model.Tree().NextDepthFirst(*n)) {
        if (n->Text() == "?DIR") {  // both folders have one date
            struct stat st {};
            ASSERT_EQ(0, ::stat((out_ + "/_DIR").c_str(), &st));
            ExpectDate(st.st_mtim, n->Data().Modified, "_DIR");
        }
        for (const TFileInfo& f : n->Data().Files) {
            const auto it = std::find_if(sink.files.begin(), sink.files.end(), [&](const TRecoveredFile& r) {
                return r.FoundName == f.Name && r.Size == f.Size;
            });
            if (!f.Deleted || it == sink.files.end())
                continue;
            struct stat st {};
            ASSERT_EQ(0, ::stat(it->Path.c_str(), &st));
            ExpectDate(st.st_mtim, f.Modified, it->Path);
            ExpectDate(st.st_atim, f.Accessed, it->Path + " (accessed)");
        }
    }

    EXPECT_EQ(Out("_ILE1.TXT"), Source("/AILE1.TXT"));
    EXPECT_EQ(Out("_ILE1 (2).TXT"), Source("/BILE1.TXT"));
    EXPECT_EQ(Out("_EADME.TXT"), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'})) << "the user's file stays";
    EXPECT_EQ(Out("_EADME (2).TXT"), Source("/README.TXT"));
    // The deleted folders ADIR and BDIR both come out as _DIR: they merge.
    EXPECT_EQ(Out("_DIR/_.TXT"), Source("/ADIR/X.TXT"));
    EXPECT_EQ(Out("_DIR/_ (2).TXT"), Source("/BDIR/X.TXT"));
    EXPECT_EQ(Out("_ARGE.BIN"), Source("/LARGE.BIN"));

    EXPECT_TRUE(s.Failures.empty());
    EXPECT_EQ(s.FilesWritten, 6u);
    EXPECT_EQ(s.FilesRenamed, 3u);
    EXPECT_EQ(s.BytesWritten, 1500u + 2500 + 700 + 600 + 900 + 3000);
    EXPECT_EQ(FilesOnDisk(), s.FilesOnDisk() + 1) << "the counts are what is on disk";
    const auto renamed = std::find_if(sink.files.begin(), sink.files.end(),
                                      [](const TRecoveredFile& f) { return f.Name == "_ILE1 (2).TXT"; });
    ASSERT_NE(renamed, sink.files.end());
    EXPECT_EQ(renamed->FoundName, "?ILE1.TXT");
    EXPECT_EQ(renamed->Path, out_ + "/_ILE1 (2).TXT");
    EXPECT_TRUE(renamed->Renamed);

}

TEST_F(Collisions, AFileThatCannotBeReadAtAllLeavesNothing)
{
    // LARGE.BIN's data comes last on the volume (its first cluster is the
    // highest of all): an image cut short before it keeps every other file.
    std::vector<std::uint8_t> image = testdata::ReadFileBytes(testdata::Path("fat/collisions.img"));
    const std::string entry = "\xE5" "ARGE   BIN";
    std::size_t at = 0;
    while (at + 32 <= image.size() &&
           !std::equal(entry.begin(), entry.end(), image.begin() + static_cast<std::ptrdiff_t>(at),
                       [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; }))
        at += 32;
    ASSERT_LT(at + 32, image.size());
    const std::size_t firstCluster = image[at + 26] | (image[at + 27] << 8);
    // One 512-byte sector per cluster on this volume; the data area follows
    // the reserved sectors, the FATs and the root directory.
    const std::size_t dataStart = (image[14] | (image[15] << 8)) + image[16] * (image[22] | (image[23] << 8)) +
                                  (image[17] | (image[18] << 8)) * 32 / 512;
    image.resize((dataStart + firstCluster - 2) * 512);
    const std::string copy = out_ + "/outside-cluster.img";
    testdata::WriteFileBytes(copy, image);
    out_ += "/out";
    RecordingSink sink;
    const TRecoverySummary s = RecoverEverything(copy, sink);

    EXPECT_FALSE(fs::exists(out_ + "/_ARGE.BIN")) << "no empty stub";
    ASSERT_EQ(s.Failures.size(), 1u);
    EXPECT_EQ(s.Failures[0].Path, out_ + "/_ARGE.BIN");
    EXPECT_EQ(s.Failures[0].FoundName, "?ARGE.BIN");
    EXPECT_NE(s.Failures[0].Message.find("0 of 3000 bytes"), std::string::npos) << s.Failures[0].Message;
    EXPECT_EQ(s.FilesWritten, 5u) << "the others are written";
    EXPECT_EQ(FilesOnDisk(), 5u);
    EXPECT_EQ(RecoveryNotices(s), std::vector<std::string>{"1 file could not be written."});
}
