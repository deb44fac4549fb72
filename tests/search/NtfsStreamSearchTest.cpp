// What the NTFS search reports of files as current Windows versions write
// them: named streams as rows of their own (and the system's own streams
// only when asked), encrypted and compressed files, full file references,
// extent records not taken for files, and clusters up to 2 MiB.

#include "salvage/fs/NTFSLayout.h"
#include "salvage/search/NTFSSearch.h"
#include "tests/search/RecordingSink.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <map>

using salvage::TNTFSSearch;
using testsearch::RecordingSink;

namespace {

std::map<std::string, salvage::TFileInfo> SearchByName(const std::string& image, bool systemStreams = false)
{
    platform::OpenError error;
    auto volume = platform::OpenVolumeReadOnly(image, error);
    EXPECT_TRUE(volume) << error.message;
    RecordingSink sink;
    TNTFSSearch search(std::move(volume), sink, true);
    search.SetListSystemStreams(systemStreams);
    search.Start();
    search.Wait();
    std::map<std::string, salvage::TFileInfo> byName;
    for (const auto& r : sink.reports) {
        EXPECT_FALSE(byName.count(r.info.Name)) << "reported twice: " << r.info.Name;
        byName[r.info.Name] = r.info;
    }
    return byName;
}

} // namespace

TEST(NtfsStreamSearch, NamedStreamsOfLiveAndDeletedFilesAreRowsOfTheirOwn)
{
    const auto v = testdata::NtfsVolume("ntfsfeat");
    const auto found = SearchByName(v.image);
    struct Row {
        const char* name;
        const char* stream;
        std::uint64_t size;
        bool deleted;
    };
    for (const Row& row : {Row{"withads.txt", "", 3000, false}, Row{"withads.txt:big", "big", 20000, false},
                           Row{"withads.txt:small", "small", 100, false}, Row{"adsgone.txt", "", 5000, true},
                           Row{"adsgone.txt:hidden", "hidden", 7000, true}}) {
        SCOPED_TRACE(row.name);
        const auto it = found.find(row.name);
        ASSERT_NE(it, found.end());
        EXPECT_EQ(salvage::StreamName(it->second), row.stream);
        EXPECT_EQ(it->second.Size, row.size);
        EXPECT_EQ(it->second.Deleted, row.deleted);
        // Deleted streams get their own estimate; live ones none.
        EXPECT_EQ(it->second.Condition, row.deleted ? salvage::kGood : salvage::kNotAssessed);
    }
    EXPECT_EQ(found.at("withads.txt:big").FileRef, found.at("withads.txt").FileRef);
    EXPECT_EQ(found.at("withads.txt:big").ParentRef, found.at("withads.txt").ParentRef);

    // The system's own streams stay out unless asked for.
    EXPECT_FALSE(found.count("$Secure:$SDS"));
    EXPECT_FALSE(found.count("$UpCase:$Info"));
    const auto all = SearchByName(v.image, true);
    EXPECT_TRUE(all.count("$Secure:$SDS"));
    EXPECT_EQ(all.size(), found.size() + 3) << "$Secure:$SDS, $UpCase:$Info and $BadClus:$Bad";
}

TEST(NtfsStreamSearch, EncryptionCompressionReferencesAndExtentRecords)
{
    const auto v = testdata::NtfsVolume("ntfsfeat");
    const auto found = SearchByName(v.image);
    std::map<std::string, std::uint32_t> records;
    for (const auto& m : testdata::ReadNtfsManifest(v.manifest))
        records[m.entry.path.substr(m.entry.path.rfind('/') + 1)] = m.record;
    for (const char* name : {"secret.bin", "secretgone.bin"})
        EXPECT_TRUE(found.at(name).Encrypted) << name;
    for (const char* name : {"comp1.txt", "compmany.txt", "compgone.txt"})
        EXPECT_TRUE(found.at(name).Compressed) << name;
    EXPECT_FALSE(found.at("withads.txt").Encrypted);
    EXPECT_FALSE(found.at("withads.txt").Compressed);
    EXPECT_EQ(found.at("compmany.txt").Size, 750000u);

    // The full reference: the record number and its sequence number, which
    // freeing the record bumped.
    const salvage::TFileInfo& live = found.at("comp1.txt");
    EXPECT_EQ(salvage::ntfs::RecordNumberOf(live.FullRef), records.at("comp1.txt"));
    EXPECT_EQ(salvage::ntfs::SequenceOf(live.FullRef), 1u);
    EXPECT_EQ(salvage::ntfs::SequenceOf(found.at("compgone.txt").FullRef), 2u);

    // A file whose data runs on in extent records is one row, with its size.
    EXPECT_EQ(found.at("listed.bin").Size, 3272704u);
    int rows = 0;
    for (const auto& [name, info] : found)
        rows += name == "listed.bin";
    EXPECT_EQ(rows, 1);
}

TEST(NtfsStreamSearch, LargeClusterVolumesListLikeSmallOnes)
{
    for (const char* name : {"ntfs128k", "ntfs1m", "ntfs2m"}) {
        SCOPED_TRACE(name);
        const auto v = testdata::NtfsVolume(name);
        const auto found = SearchByName(v.image);
        for (const auto& m : testdata::ReadNtfsManifest(v.manifest)) {
            const std::string leaf = m.entry.path.substr(m.entry.path.rfind('/') + 1);
            const auto it = found.find(leaf);
            ASSERT_NE(it, found.end()) << m.entry.path;
            EXPECT_EQ(it->second.Deleted, m.entry.deleted) << m.entry.path;
            if (m.entry.directory)
                continue;
            EXPECT_EQ(it->second.Size, m.entry.size) << m.entry.path;
            if (m.entry.deleted) {
                EXPECT_EQ(it->second.Condition, m.condition == "good" ? salvage::kGood : salvage::kPoor) << m.entry.path;
            }
        }
        EXPECT_EQ(found.at("small.bin:ADS").Size, 1000u);
    }
}
