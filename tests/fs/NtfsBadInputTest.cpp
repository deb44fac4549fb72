// Damaged and hostile NTFS volumes: copies of a generated volume with
// records, boot fields and MFT bytes broken on purpose. Every case must end,
// without a crash, with a clear refusal or with the damaged part skipped.

#include "salvage/disk/Messages.h"
#include "salvage/fs/NTFS.h"
#include "salvage/search/NTFSSearch.h"
#include "tests/fs/NtfsRecordBuilder.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <random>

using namespace salvage;
using namespace testntfs;

namespace {

constexpr std::uint32_t kSI = 0x10, kList = 0x20, kFN = 0x30, kData = 0x80;

class NtfsBadInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        volume_ = testdata::NtfsVolume("ntfs4k");
        image_ = testdata::ReadFileBytes(volume_.image);
        for (const auto& m : testdata::ReadNtfsManifest(volume_.manifest))
            records_[m.entry.path] = m.record;
        previousHook_ = SetMessageHook([this](const std::string& text, MessageIcon) { messages_.push_back(text); });
    }
    void TearDown() override { SetMessageHook(previousHook_); }

    // Where record n is stored: records name themselves at offset 44.
    std::size_t RecordOffset(const Bytes& image, std::uint32_t n) const
    {
        for (std::size_t at = 0; at + 1024 <= image.size(); at += 1024)
            if (image[at] == 'F' && image[at + 1] == 'I' && image[at + 2] == 'L' && image[at + 3] == 'E' &&
                LoadLE32(image, at + 44) == n)
                return at;
        ADD_FAILURE() << "record " << n << " not found";
        return 0;
    }
    void Put(Bytes& image, std::uint32_t n, const Bytes& record) const
    {
        std::copy(record.begin(), record.end(), image.begin() + static_cast<long>(RecordOffset(image, n)));
    }

    struct Scan {
        int reports = 0;
        int done = 0;
        int failures = 0;
    };
    // The whole search over a damaged copy.
    static Scan Search(const Bytes& image)
    {
        struct Counter : TSearchSink {
            Scan scan;
            void FatDirFound(const TFileInfo&, DirToken, DirToken) override {}
            void FatFileFound(const TFileInfo&, DirToken) override {}
            void NtfsDirFound(const TFileInfo&) override { ++scan.reports; }
            void NtfsFileFound(const TFileInfo&) override { ++scan.reports; }
            void Progress(int) override {}
            void Failed(const std::string&) override { ++scan.failures; }
            void Done() override { ++scan.done; }
        } counter;
        TNTFSSearch search(platform::MakeMemoryVolume(image), counter, true);
        search.Start();
        search.Wait();
        return counter.scan;
    }

    static TNTFSOpenResult OpenCopy(TNTFS& ntfs, const Bytes& image)
    {
        std::uint64_t records = 0;
        return ntfs.OpenNTFSVolume(platform::MakeMemoryVolume(image), records);
    }

    testdata::GeneratedVolume volume_;
    Bytes image_;
    std::map<std::string, std::uint32_t> records_;
    std::vector<std::string> messages_;
    MessageHook previousHook_;
};

} // namespace

TEST_F(NtfsBadInput, AttributeListsThatPointAtThemselvesOrAstrayEnd)
{
    const std::uint32_t self = records_["/GONE.TXT"];
    const std::uint32_t other = records_["/Deleted big.bin"];
    Bytes image = image_;
    const std::size_t otherAt = RecordOffset(image, other);
    // A deleted record whose list sends every search back to itself.
    Put(image, self,
        RecordBuilder(1024, 0, self)
            .Resident(kSI, StdInfoValue(1, 2))
            .Resident(kList, [&] {
                Bytes l = ListEntry(kData, self, 0);
                const Bytes fn = ListEntry(kFN, self, 0);
                l.insert(l.end(), fn.begin(), fn.end());
                return l;
            }())
            .Resident(kFN, FileNameValue(5, u"GONE.TXT", 3))
            .Build());
    // A record that claims to be another one.
    Put(image, other,
        RecordBuilder(1024, 0, 9999).Resident(kFN, FileNameValue(5, u"astray", 1)).Resident(kData, Bytes(7, 1)).Build());

    TNTFS ntfs;
    ASSERT_TRUE(OpenCopy(ntfs, image).Ok());
    TNTFSRecordInfo info;
    ASSERT_TRUE(ntfs.GetDeletedRecordInfo(self, info));
    EXPECT_EQ(info.Name, u"GONE.TXT");
    EXPECT_EQ(info.Size, 0u);
    EXPECT_EQ(ntfs.EstimateNTFSCondition(self), ntfs::kConditionPoor);  // no data anywhere

    // A list entry naming a record that is not the one it names is not followed.
    Bytes rec = RecordBuilder(1024, 0, self)
                    .Resident(kList, ListEntry(kData, other, 0))
                    .Resident(kFN, FileNameValue(5, u"GONE.TXT", 3))
                    .Build();
    EXPECT_EQ(ApplyFixups(rec), TFixupResult::Applied);
    EXPECT_FALSE(ntfs.FindAttribute(rec, kData, std::nullopt, true, 0));

    // Once the target is right, the attribute is found there.
    const Bytes target =
        RecordBuilder(1024, 0, other).Resident(kFN, FileNameValue(5, u"ext", 1)).Resident(kData, Bytes(7, 1)).Build();
    std::copy(target.begin(), target.end(), image.begin() + static_cast<long>(otherAt));
    TNTFS fixed;
    ASSERT_TRUE(OpenCopy(fixed, image).Ok());
    const auto found = fixed.FindAttribute(rec, kData, std::nullopt, true, 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Value().size(), 7u);

    EXPECT_EQ(Search(image).done, 1);
}

TEST_F(NtfsBadInput, TornRecordsAreSkipped)
{
    const Scan whole = Search(image_);
    Bytes image = image_;
    const std::uint32_t live = records_["/README.TXT"];
    image[RecordOffset(image, live) + 1022] ^= 0xFF;  // a block end that no longer matches
    TNTFS ntfs;
    ASSERT_TRUE(OpenCopy(ntfs, image).Ok());
    TNTFSRecordInfo info;
    EXPECT_FALSE(ntfs.GetLiveRecordInfo(live, info));
    std::vector<std::uint8_t> record(1024);
    EXPECT_FALSE(ntfs.ReadMFTRecord(live, record));
    const Scan damaged = Search(image);
    EXPECT_EQ(damaged.done, 1);
    EXPECT_EQ(damaged.reports, whole.reports - 1);
}

TEST_F(NtfsBadInput, AnMftLargerThanTheVolumeIsRefused)
{
    TNTFS ntfs;
    ASSERT_TRUE(OpenCopy(ntfs, image_).Ok());
    const ByteSpan mft = ntfs.MFTRecord();
    const auto data = ntfs.FindAttribute(mft, kData, std::nullopt, false, 0);
    ASSERT_TRUE(data);
    const std::size_t sizeField = ntfs.MftCluster() * ntfs.ClusterBytes() +
                                  static_cast<std::size_t>(data->Bytes().data() - mft.data()) + 48;

    Bytes image = image_;
    PutLE(image, sizeField, 1ull << 40, 8);
    TNTFS huge;
    const TNTFSOpenResult r = OpenCopy(huge, image);
    EXPECT_FALSE(r.Ok());
    EXPECT_NE(r.Message.find("more than the volume holds"), std::string::npos) << r.Message;
    const Scan refused = Search(image);
    EXPECT_EQ(refused.done, 1);
    EXPECT_EQ(refused.failures, 1);

    // Larger than its runs but inside the volume: the records past the runs
    // cannot be read and are skipped.
    PutLE(image, sizeField, image.size() / 2, 8);
    TNTFS longer;
    ASSERT_TRUE(OpenCopy(longer, image).Ok());
    EXPECT_EQ(longer.RecordCount(), image.size() / 2 / 1024);
    EXPECT_EQ(Search(image).reports, Search(image_).reports);
}

TEST_F(NtfsBadInput, UnusableBootSectorsAreRefusedWithAReason)
{
    struct Patch {
        const char* what;
        std::size_t offset;
        std::uint64_t value;
        int width;
    };
    const Patch patches[] = {
        {"no sector size", 11, 0, 2},         {"odd sector size", 11, 3, 2},
        {"sector size too large", 11, 8192, 2}, {"sector size too small", 11, 128, 2},
        {"no cluster size", 13, 0, 1},        {"odd cluster size", 13, 3, 1},
        {"no record size", 64, 0, 4},         {"record size garbage", 64, 0x1F6, 4},
        {"record size 128", 64, 0xF9, 4},     {"MFT past the end", 48, 1ull << 40, 8},
        {"MFT on garbage", 48, 100, 8},
    };
    for (const Patch& p : patches) {
        SCOPED_TRACE(p.what);
        Bytes image = image_;
        PutLE(image, p.offset, p.value, p.width);
        TNTFS ntfs;
        const TNTFSOpenResult r = OpenCopy(ntfs, image);
        EXPECT_FALSE(r.Ok());
        EXPECT_FALSE(r.Message.empty());
        EXPECT_EQ(r.Code, 0);
        EXPECT_FALSE(ntfs.IsOpen());
    }
    // A total-sector count of 0 falls back to the device's size.
    Bytes image = image_;
    PutLE(image, 40, 0, 8);
    TNTFS ntfs;
    EXPECT_TRUE(OpenCopy(ntfs, image).Ok());
}

TEST_F(NtfsBadInput, TruncatedImagesAreReadAsFarAsTheyGo)
{
    for (const std::size_t keep : {std::size_t{512}, std::size_t{4096 * 5}, std::size_t{1} << 20, image_.size() / 2}) {
        SCOPED_TRACE(keep);
        const Bytes image(image_.begin(), image_.begin() + static_cast<long>(keep));
        EXPECT_EQ(Search(image).done, 1);
    }
}

TEST_F(NtfsBadInput, RandomDamageInTheMftNeverCrashes)
{
    TNTFS ntfs;
    ASSERT_TRUE(OpenCopy(ntfs, image_).Ok());
    const std::size_t mftStart = ntfs.MftCluster() * ntfs.ClusterBytes();
    const std::size_t first = RecordOffset(image_, records_["/Gone"]);
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        Bytes image = image_;
        // Damage the user records (record 0 stays, or nothing would open)
        // and, every other round, the rest of the system records too.
        const std::size_t from = seed % 2 ? first : mftStart + 1024;
        std::uniform_int_distribution<std::size_t> where(from, first + 300 * 1024);
        std::uniform_int_distribution<int> what(0, 255);
        // Block ends are left alone, so most records still pass their
        // update-sequence check and their attributes get parsed.
        for (int i = 0; i < 3000; ++i)
            if (const std::size_t at = where(random); at % 512 < 510)
                image[at] = static_cast<std::uint8_t>(what(random));
        EXPECT_EQ(Search(image).done, 1);
    }
}
