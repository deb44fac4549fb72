// The NTFS search at the sink level: what it reports for the reference image
// and for generated volumes, progress, stop, and volumes it cannot open.

#include "salvage/disk/Messages.h"
#include "salvage/fs/DateTime.h"
#include "salvage/fs/NTFS.h"
#include "salvage/search/NTFSSearch.h"
#include "tests/search/RecordingSink.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <cerrno>

using salvage::TNTFSSearch;
using testsearch::RecordingSink;
using testsearch::Report;

namespace {

platform::VolumePtr Open(const std::string& path)
{
    platform::OpenError error;
    auto volume = platform::OpenVolumeReadOnly(path, error);
    EXPECT_TRUE(volume) << path << ": " << error.message;
    return volume;
}

void Search(platform::VolumePtr volume, RecordingSink& sink, bool estimate)
{
    TNTFSSearch search(std::move(volume), sink, estimate);
    search.Start();
    search.Wait();
}

// Local time is UTC for the duration of a test.
class UtcTime {
public:
    UtcTime()
    {
        if (const char* tz = std::getenv("TZ"))
            saved_ = tz;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~UtcTime()
    {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

struct Expected {
    std::uint32_t record;
    const char* path;
    bool directory;
    std::uint64_t size;
};

} // namespace

TEST(NtfsSearch, ReferenceImageReportsTheAnswerKey)
{
    UtcTime utc;
    RecordingSink sink;
    Search(Open(testdata::ReferenceNtfsImage()), sink, true);
    EXPECT_EQ(sink.done, 1);
    const auto paths = sink.Paths();

    const Expected deleted[] = {
        {29, "/frag1.dat", false, 1584}, {30, "/frag2.dat", false, 3873},   {31, "/sing1.dat", false, 780},
        {32, "/mult1.dat", false, 3801}, {33, "/dir1", true, 0},             {34, "/dir1/dir2", true, 0},
        {35, "/dir1/dir2/frag3.dat", false, 2027}, {36, "/dir1/mult2.dat", false, 1715},
        {37, "/res1.dat", false, 101},
        // Its folder's record (37) now holds res1.dat: it waits under a placeholder.
        {38, "$$folder_37/sing2.dat", false, 1005},
    };
    for (const Expected& e : deleted) {
        SCOPED_TRACE(e.path);
        const Report* r = sink.ByRecord(e.record);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(paths.at(e.record), e.path);
        EXPECT_EQ(r->directory, e.directory);
        EXPECT_TRUE(r->info.Deleted);
        if (!e.directory) {
            EXPECT_EQ(r->info.Size, e.size);
            EXPECT_EQ(r->info.Condition, salvage::kGood);
        }
        for (const salvage::TDateTime date : {r->info.Modified, r->info.Created}) {
            const auto fields = salvage::DecodeDateTime(date);
            EXPECT_EQ(fields.Year, 2004);
            EXPECT_EQ(fields.Month, 2);
            EXPECT_EQ(fields.Day, 29);
        }
    }

    // The root is ".", its own parent; the metadata files are live entries in it.
    const Report* root = sink.ByRecord(5);
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(root->directory);
    EXPECT_EQ(root->info.Name, ".");
    EXPECT_EQ(root->info.ParentRef, 5u);
    const Expected live[] = {{0, "/$MFT", false, 0},     {1, "/$MFTMirr", false, 0}, {2, "/$LogFile", false, 0},
                             {3, "/$Volume", false, 0},  {4, "/$AttrDef", false, 0}, {6, "/$Bitmap", false, 0},
                             {7, "/$Boot", false, 0},    {8, "/$BadClus", false, 0}, {9, "/$Secure", false, 0},
                             {10, "/$UpCase", false, 0}, {11, "/$Extend", true, 0},
                             {27, "/System Volume Information", true, 0},
                             {28, "/System Volume Information/tracking.log", false, 0}};
    for (const Expected& e : live) {
        SCOPED_TRACE(e.path);
        const Report* r = sink.ByRecord(e.record);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(paths.at(e.record), e.path);
        EXPECT_EQ(r->directory, e.directory);
        EXPECT_FALSE(r->info.Deleted);
        EXPECT_EQ(r->info.Condition, salvage::kNotAssessed);
    }
    EXPECT_EQ(sink.ByRecord(0)->info.Size, 39u * 1024);  // $MFT's own data

    // Records in order, each at most once, but for its named streams right after it.
    for (std::size_t i = 1; i < sink.reports.size(); ++i) {
        const auto& here = sink.reports[i].info;
        if (here.StreamAt == 0)
            EXPECT_LT(sink.reports[i - 1].info.FileRef, here.FileRef);
        else
            EXPECT_EQ(sink.reports[i - 1].info.FileRef, here.FileRef);
    }
    const Report& ads = sink.reports[1 + static_cast<std::size_t>(
                                              std::find_if(sink.reports.begin(), sink.reports.end(),
                                                           [](const Report& r) { return r.info.FileRef == 32; }) -
                                              sink.reports.begin())];
    EXPECT_EQ(ads.info.Name, "mult1.dat:ADS");
    EXPECT_EQ(salvage::StreamName(ads.info), "ADS");
    EXPECT_EQ(ads.info.Size, 1234u);
    EXPECT_TRUE(ads.info.Deleted);
}

TEST(NtfsSearch, ConditionIsOnlyAssessedWhenAsked)
{
    RecordingSink sink;
    Search(Open(testdata::ReferenceNtfsImage()), sink, false);
    ASSERT_NE(sink.ByRecord(31), nullptr);
    for (const Report& r : sink.reports)
        EXPECT_EQ(r.info.Condition, salvage::kNotAssessed) << r.info.Name;
}

TEST(NtfsSearch, ProgressRunsFromZeroToHundred)
{
    RecordingSink sink;
    Search(Open(testdata::ReferenceNtfsImage()), sink, false);
    ASSERT_FALSE(sink.progress.empty());
    EXPECT_EQ(sink.progress.front(), 0);
    EXPECT_EQ(sink.progress.back(), 100);
    for (std::size_t i = 1; i < sink.progress.size(); ++i)
        EXPECT_LT(sink.progress[i - 1], sink.progress[i]);
}

// Every entry the generator made, in the place the tree will give it.
class NtfsGeneratedSearch : public ::testing::TestWithParam<const char*> {};

TEST_P(NtfsGeneratedSearch, ReportsMatchTheManifest)
{
    const auto volume = testdata::NtfsVolume(GetParam());
    const auto manifest = testdata::ReadNtfsManifest(volume.manifest);
    RecordingSink sink;
    Search(Open(volume.image), sink, true);
    EXPECT_EQ(sink.done, 1);
    const auto paths = sink.Paths();

    // The entry that holds each record now is the last one made in it.
    std::map<std::uint32_t, std::size_t> holder;
    for (std::size_t i = 0; i < manifest.size(); ++i)
        holder[manifest[i].record] = i;
    auto folderEntry = [&](const std::string& path, std::size_t before) -> std::optional<std::size_t> {
        for (std::size_t i = before; i-- > 0;)
            if (manifest[i].entry.directory && manifest[i].entry.path == path)
                return i;
        return std::nullopt;
    };

    const auto imageTime = std::filesystem::last_write_time(volume.image);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(imageTime).time_since_epoch()).count();
    const salvage::TDateTime made =
        salvage::FileTimeToDateTime((static_cast<std::uint64_t>(seconds) + 11644473600ull) * 10000000ull);

    int placeholders = 0, poor = 0;
    for (std::size_t i = 0; i < manifest.size(); ++i) {
        const auto& m = manifest[i];
        SCOPED_TRACE(m.entry.path);
        const Report* r = sink.ByRecord(m.record);
        ASSERT_NE(r, nullptr);
        if (holder[m.record] != i)
            continue;  // its record was taken over; the later entry is checked
        // A folder whose record now belongs to another entry leaves its
        // children under a placeholder named after the record.
        std::string expected = m.entry.path;
        for (auto slash = expected.rfind('/'); slash != 0 && slash != std::string::npos;
             slash = expected.rfind('/', slash - 1)) {
            const auto folder = folderEntry(m.entry.path.substr(0, slash), i);
            ASSERT_TRUE(folder);
            if (holder[manifest[*folder].record] != *folder) {
                expected = "$$folder_" + std::to_string(manifest[*folder].record) + m.entry.path.substr(slash);
                ++placeholders;
                break;
            }
        }
        EXPECT_EQ(paths.at(m.record), expected);
        EXPECT_EQ(r->directory, m.entry.directory);
        EXPECT_EQ(r->info.Deleted, m.entry.deleted);
        if (!m.entry.directory) {
            EXPECT_EQ(r->info.Size, m.entry.size);
        }
        if (m.entry.deleted && !m.entry.directory) {
            EXPECT_EQ(r->info.Condition, m.condition == "poor" ? salvage::kPoor : salvage::kGood);
            poor += m.condition == "poor";
        } else {
            EXPECT_EQ(r->info.Condition, salvage::kNotAssessed);
        }
        EXPECT_NEAR(r->info.Modified, made, 1.0);
        EXPECT_NEAR(r->info.Created, made, 1.0);
    }
    EXPECT_EQ(placeholders, 1);  // /Gone/orphan.txt
    if (std::string(GetParam()) == "ntfs4k") {
        EXPECT_EQ(poor, 1);  // reuser.bin took some of a deleted file's clusters
    }

    // Nothing else but the metadata files (up to $Extend's children at 26):
    // every other record is one the generator made.
    for (const Report& r : sink.reports)
        if (r.info.FileRef > 26 && !holder.count(r.info.FileRef))
            ADD_FAILURE() << "unexpected record " << r.info.FileRef << " " << r.info.Name;
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsGeneratedSearch, ::testing::Values("ntfs4k", "ntfs512", "ntfs4kn"));

TEST(NtfsSearch, LongNamesWinOverDosNames)
{
    const auto volume = testdata::NtfsVolume("ntfs4k");
    RecordingSink sink;
    Search(Open(volume.image), sink, false);
    int found = 0;
    for (const Report& r : sink.reports) {
        EXPECT_NE(r.info.Name, "ALONGF~1.TXT");
        found += r.info.Name == "A long file name.txt";
        found += r.info.Name == "Ünïcödé ñame.txt";
    }
    EXPECT_EQ(found, 2);
}

// The sink hears of the records of one percent of the MFT at a time: a stop
// asked for during such a run ends the search after it, with no progress
// report after the stop and no Done.
TEST(NtfsSearch, StopEndsAfterTheRecordsOfThatPercentWithoutDone)
{
    RecordingSink whole;
    Search(Open(testdata::NtfsVolume("ntfs4k").image), whole, false);
    RecordingSink sink;
    TNTFSSearch search(Open(testdata::NtfsVolume("ntfs4k").image), sink, false);
    std::size_t progressAtStop = 0;
    sink.afterReport = [&] {
        if (sink.reports.size() == 20) {
            search.RequestStop();
            progressAtStop = sink.progress.size();
        }
    };
    search.Start();
    search.Wait();
    EXPECT_GE(sink.reports.size(), 20u);
    // 218 records: a percent is two or three records, a few reports at most.
    EXPECT_LE(sink.reports.size(), 24u);
    EXPECT_LT(sink.reports.size(), whole.reports.size());
    EXPECT_EQ(sink.progress.size(), progressAtStop);
    EXPECT_EQ(sink.done, 0);
}

// The worker tells its sink, never the process-wide message hook: the
// windows show the message on their own thread.
TEST(NtfsSearch, AVolumeThatCannotBeOpenedIsReportedThroughTheSink)
{
    std::vector<std::string> hooked;
    const auto previous =
        salvage::SetMessageHook([&](const std::string& text, salvage::MessageIcon) { hooked.push_back(text); });

    RecordingSink junk;
    Search(platform::MakeMemoryVolume(std::vector<std::uint8_t>(64 * 1024, 0x5A)), junk, true);
    EXPECT_TRUE(junk.reports.empty());
    EXPECT_EQ(junk.done, 1);
    ASSERT_EQ(junk.failures.size(), 1u);
    EXPECT_NE(junk.failures[0].find("not a usable NTFS volume"), std::string::npos) << junk.failures[0];

    // A device path that does not exist: the system's own words.
    RecordingSink missing;
    salvage::TLogicalDisk disk;
    disk.DevicePath = "/nonexistent/volume.img";
    TNTFSSearch search(disk, missing, false);
    search.Start();
    search.Wait();
    EXPECT_EQ(missing.done, 1);
    ASSERT_EQ(missing.failures.size(), 1u);
    EXPECT_EQ(missing.failures[0], platform::SystemErrorText(ENOENT));
    EXPECT_TRUE(hooked.empty());
    salvage::SetMessageHook(previous);
}

TEST(NtfsSearch, ARecordFreeInTheBitmapButInUseInItsHeaderIsNotDeleted)
{
    const auto volume = testdata::NtfsVolume("ntfs4k");
    std::uint32_t readme = 0;
    for (const auto& m : testdata::ReadNtfsManifest(volume.manifest))
        if (m.entry.path == "/README.TXT")
            readme = m.record;
    auto image = testdata::ReadFileBytes(volume.image);

    // Clear the record's bit in the MFT bitmap, leaving the record as it is.
    salvage::TNTFS ntfs;
    std::uint64_t records = 0;
    ASSERT_TRUE(ntfs.OpenNTFSVolume(platform::MakeMemoryVolume(image), records).Ok());
    const auto bitmap = ntfs.FindAttribute(ntfs.MFTRecord(), 0xB0, std::nullopt, false, 0);
    ASSERT_TRUE(bitmap && bitmap->NonResident());
    const auto at = ntfs.MapVCN(*bitmap, 0);
    ASSERT_TRUE(at);
    image[at->Lcn * ntfs.ClusterBytes() + readme / 8] &= static_cast<std::uint8_t>(~(1u << (readme % 8)));

    RecordingSink sink;
    Search(platform::MakeMemoryVolume(image), sink, true);
    const Report* r = sink.ByRecord(readme);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->info.Name, "README.TXT");
    EXPECT_FALSE(r->info.Deleted);
    EXPECT_EQ(r->info.Condition, salvage::kNotAssessed);
}
