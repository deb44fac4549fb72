// One MFT record at a time: update sequences, the attribute walk and the
// name a record is reported under. Hand-built records for exact cases.

#include "salvage/disk/Errors.h"
#include "salvage/fs/NTFS.h"
#include "tests/fs/NtfsRecordBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace salvage;
using namespace testntfs;

namespace {

constexpr std::uint32_t kSI = 0x10, kList = 0x20, kFN = 0x30, kData = 0x80;

Bytes Fixed(Bytes record)
{
    EXPECT_EQ(ApplyFixups(record), TFixupResult::Applied);
    return record;
}

} // namespace

TEST(NtfsRecord, FixupsRestoreTheBlockEndsAndRefuseTornRecords)
{
    for (const std::size_t size : {1024u, 4096u}) {
        RecordBuilder b(size);
        Bytes tail(size - 200, 0xAB);  // a value that reaches every block end
        b.Resident(kData, tail);
        Bytes stored = b.Build(0x1234);
        EXPECT_EQ(stored[510], 0x34);
        // Everything but the array itself comes back.
        const Bytes fixed = Fixed(stored), plain = b.Plain();
        const std::size_t arrayEnd = 48 + 2 * (size / 512 + 1);
        EXPECT_TRUE(std::equal(fixed.begin(), fixed.begin() + 48, plain.begin()));
        EXPECT_TRUE(std::equal(fixed.begin() + static_cast<long>(arrayEnd), fixed.end(),
                               plain.begin() + static_cast<long>(arrayEnd)));

        Bytes torn = stored;
        torn[size - 2] ^= 1;  // the last block was not written with the others
        const Bytes before = torn;
        EXPECT_EQ(ApplyFixups(torn), TFixupResult::Torn);
        EXPECT_EQ(torn, before) << "left as it was";
    }

    Bytes plain = RecordBuilder().Plain();
    Bytes r = plain;
    PutLE(r, 6, 1, 2);  // a count below 2: no fixups at all
    EXPECT_EQ(ApplyFixups(r), TFixupResult::Applied);
    PutLE(r, 6, 4, 2);  // more blocks than a 1024-byte record has
    EXPECT_EQ(ApplyFixups(r), TFixupResult::Malformed);
    PutLE(r, 6, 3, 2);
    PutLE(r, 4, 1020, 2);  // the array runs past the record
    EXPECT_EQ(ApplyFixups(r), TFixupResult::Malformed);
    PutLE(r, 4, 2, 2);  // the array would overwrite its own count
    EXPECT_EQ(ApplyFixups(r), TFixupResult::Malformed);
}

TEST(NtfsRecord, AttributesAreFoundByTypeIndexAndName)
{
    TNTFS ntfs;
    const Bytes record = Fixed(RecordBuilder()
                                   .Resident(kSI, StdInfoValue(1, 2))
                                   .Resident(kFN, FileNameValue(5, u"a.txt", 1))
                                   .Resident(kData, Bytes(10, 'x'))
                                   .Resident(kData, Bytes(20, 'y'), u"ADS")
                                   .Build());
    const auto first = ntfs.FindAttribute(record, kData, std::nullopt, false, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Value().size(), 10u);
    const auto second = ntfs.FindAttribute(record, kData, std::nullopt, false, 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Value().size(), 20u);
    EXPECT_FALSE(ntfs.FindAttribute(record, kData, std::nullopt, false, 2));

    const auto named = ntfs.FindAttribute(record, kData, std::u16string_view(u"ADS"), false, 0);
    ASSERT_TRUE(named);
    EXPECT_EQ(named->Value().size(), 20u);
    EXPECT_FALSE(ntfs.FindAttribute(record, kData, std::u16string_view(u"ads"), false, 0));
    const auto unnamed = ntfs.FindAttribute(record, kData, std::u16string_view(u""), false, 0);
    ASSERT_TRUE(unnamed);
    EXPECT_EQ(unnamed->Value().size(), 10u);

    EXPECT_EQ(TNTFS::AttributeDataSize(*first), 10u);
    EXPECT_EQ(TNTFS::AttributeAllocatedSize(*first), 10u);
}

TEST(NtfsRecord, BrokenAttributesEndOrSkipOnlyWhatTheyMust)
{
    TNTFS ntfs;
    auto withBroken = [](const Bytes& broken) {
        return Fixed(RecordBuilder()
                         .Resident(kSI, StdInfoValue(1, 2))
                         .Raw(broken)
                         .Resident(kData, Bytes(10, 'x'))
                         .Build());
    };
    // A length of 0, or one past the record: nothing after it can be found.
    for (const std::uint32_t length : {0u, 8u, 4000u, 0xFFFFFFF8u}) {
        SCOPED_TRACE(length);
        Bytes header(24, 0);
        PutLE(header, 0, kFN, 4);
        PutLE(header, 4, length, 4);
        const Bytes record = withBroken(header);
        EXPECT_TRUE(ntfs.FindAttribute(record, kSI, std::nullopt, false, 0));
        EXPECT_FALSE(ntfs.FindAttribute(record, kData, std::nullopt, false, 0));
    }
    // A name or a value outside its attribute, a non-resident header too
    // short for its fields: that attribute is skipped, the walk goes on.
    Bytes nameOutside(32, 0);
    PutLE(nameOutside, 0, kFN, 4);
    PutLE(nameOutside, 4, 32, 4);
    nameOutside[9] = 200;
    PutLE(nameOutside, 10, 24, 2);
    Bytes valueOutside(32, 0);
    PutLE(valueOutside, 0, kFN, 4);
    PutLE(valueOutside, 4, 32, 4);
    PutLE(valueOutside, 16, 100, 4);
    PutLE(valueOutside, 20, 24, 2);
    Bytes shortNonResident(48, 0);
    PutLE(shortNonResident, 0, kFN, 4);
    PutLE(shortNonResident, 4, 48, 4);
    shortNonResident[8] = 1;
    for (const Bytes& broken : {nameOutside, valueOutside, shortNonResident}) {
        const Bytes record = withBroken(broken);
        EXPECT_FALSE(ntfs.FindAttribute(record, kFN, std::nullopt, false, 0));
        EXPECT_TRUE(ntfs.FindAttribute(record, kData, std::nullopt, false, 0));
    }
    // A first-attribute offset inside the header finds nothing.
    Bytes record = withBroken(Bytes{});
    PutLE(record, 20, 8, 2);
    EXPECT_FALSE(ntfs.FindAttribute(record, kSI, std::nullopt, false, 0));
}

TEST(NtfsRecord, AllocatedSizesBeyond32BitsAreARangeError)
{
    TNTFS ntfs;
    const Bytes record = Fixed(RecordBuilder().NonResident(0xB0, 0, 0, 8, {0x11, 0x01, 0x10, 0x00}).Build());
    auto attribute = ntfs.FindAttribute(record, 0xB0, std::nullopt, false, 0);
    ASSERT_TRUE(attribute);
    EXPECT_EQ(TNTFS::AttributeAllocatedSize(*attribute), 4096u);
    Bytes big = record;
    const auto at = static_cast<std::size_t>(attribute->Bytes().data() - record.data());
    PutLE(big, at + 40, 1ull << 32, 8);
    attribute = ntfs.FindAttribute(big, 0xB0, std::nullopt, false, 0);
    ASSERT_TRUE(attribute);
    EXPECT_THROW((void)TNTFS::AttributeAllocatedSize(*attribute), ERangeError);
}

TEST(NtfsRecord, TheWin32NameIsChosenOverADosName)
{
    TNTFS ntfs;
    struct Case {
        const char* what;
        std::vector<std::pair<std::u16string, std::uint8_t>> names;  // in record order
        std::u16string chosen;
    };
    const Case cases[] = {
        {"DOS first", {{u"LONGNA~1.TXT", 2}, {u"Long name.txt", 1}}, u"Long name.txt"},
        {"Win32 first", {{u"Long name.txt", 1}, {u"LONGNA~1.TXT", 2}}, u"Long name.txt"},
        {"one name for both", {{u"SHORT.TXT", 3}}, u"SHORT.TXT"},
        {"a longer POSIX name replaces a DOS one", {{u"AB~1", 2}, {u"ab and more", 0}}, u"ab and more"},
        {"a Win32 name ends the choice", {{u"X~1", 2}, {u"w.txt", 1}, {u"a much longer posix name", 0}}, u"w.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordBuilder b;
        b.Resident(kSI, StdInfoValue(111, 222));
        for (const auto& [name, ns] : c.names)
            b.Resident(kFN, FileNameValue(0x0001000000000007ull, name, ns));
        b.Resident(kData, Bytes(33, 'd'));
        const Bytes record = Fixed(b.Build());
        TNTFSRecordInfo info;
        ASSERT_TRUE(ntfs.GetRecordInfo(record, info));
        EXPECT_EQ(info.Name, c.chosen);
        EXPECT_EQ(ntfs::RecordOfReference(info.ParentRef), 7u);
        EXPECT_EQ(info.Size, 33u);
        EXPECT_EQ(info.CreationTime(), 111u);
        EXPECT_EQ(info.LastWriteTime(), 222u);
        EXPECT_TRUE(info.InUse());
        EXPECT_FALSE(info.Directory());
    }

    // A name that runs past its value is not used; without any name the
    // record is not reported.
    Bytes cut = FileNameValue(5, u"abc", 1);
    cut[64] = 100;
    TNTFSRecordInfo info;
    EXPECT_FALSE(ntfs.GetRecordInfo(Fixed(RecordBuilder().Resident(kFN, cut).Build()), info));
    EXPECT_FALSE(ntfs.GetRecordInfo(Fixed(RecordBuilder().Resident(kSI, StdInfoValue(1, 2)).Build()), info));
    ASSERT_TRUE(ntfs.GetRecordInfo(
        Fixed(RecordBuilder().Resident(kFN, cut).Resident(kFN, FileNameValue(5, u"ok", 2)).Build()), info));
    EXPECT_EQ(info.Name, u"ok");
}

TEST(NtfsRecord, AListOnAClosedReaderFindsNothing)
{
    // Without a volume a list cannot be followed; the walk still ends.
    TNTFS ntfs;
    const Bytes record = Fixed(RecordBuilder()
                                   .Resident(kFN, FileNameValue(5, u"f", 1))
                                   .Resident(kList, ListEntry(kData, 0, 0))
                                   .Build());
    EXPECT_FALSE(ntfs.FindAttribute(record, kData, std::nullopt, true, 0));
    EXPECT_TRUE(ntfs.FindAttribute(record, kFN, std::nullopt, true, 0));
}
