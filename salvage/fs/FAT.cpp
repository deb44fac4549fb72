#include "salvage/fs/FAT.h"

#include "salvage/disk/Bytes.h"
#include "salvage/disk/Messages.h"
#include "salvage/fs/FATEntryCheck.h"
#include "salvage/fs/TextConvert.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace salvage {

using namespace fat;

TFAT32::TFAT32(const TLogicalDisk& disk, std::uint32_t startSector) : StartSector(startSector)
{
    platform::OpenError error;
    volume_ = OpenLogicalDisk(disk, error);
    if (!volume_) {
        // The boot-sector read is where the program reports an unopenable volume.
        ShowMessageBox(error.message);
        problem_ = error.message;
        return;
    }
    Setup();
}

TFAT32::TFAT32(platform::VolumePtr volume, std::uint32_t startSector)
    : StartSector(startSector), volume_(std::move(volume))
{
    if (!volume_) {
        problem_ = "The volume is not open.";
        return;
    }
    Setup();
}

TFAT32::TFAT32(platform::VolumePtr volume, const BootSectorBytes& bootSector)
    : BootSector(bootSector), StartSector(0), volume_(std::move(volume))
{
    if (!volume_) {
        problem_ = "The volume is not open.";
        return;
    }
    SetupFromBootSector();
}

void TFAT32::Setup()
{
    if (!ReadBootSector(*volume_, BootSector, StartSector)) {
        BootSector.fill(0);
        problem_ = "The boot sector cannot be read.";
        return;
    }
    SetupFromBootSector();
}

void TFAT32::SetupFromBootSector()
{
    // The type is decided by the type texts alone, not by the cluster count.
    if (TrimmedField(BootSector, kTypeText32, kTypeTextLength) == "FAT32")
        FATType = kFAT32;
    else if (TrimmedField(BootSector, kTypeText16, kTypeTextLength) == "FAT16")
        FATType = kFAT16;
    else
        FATType = kFAT12;

    if (BytesPerSector() == 0 || SectorsPerCluster() == 0) {
        problem_ = "The boot sector gives no sector or cluster size: this is not a usable FAT volume.";
        return;
    }
    if (BytesPerSector() != kSectorSize) {
        problem_ = "Volumes with " + std::to_string(BytesPerSector()) +
                   "-byte sectors are not supported: only 512-byte sectors can be read.";
        return;
    }

    FATStart = ReservedSectors();
    std::uint64_t dataStart = static_cast<std::uint64_t>(NumberOfFATs()) * SectorsPerFAT() + ReservedSectors();
    if (FATType != kFAT32)
        dataStart += static_cast<std::uint64_t>(RootEntries()) * kDirEntrySize / BytesPerSector();
    if (dataStart > std::numeric_limits<std::uint32_t>::max()) {
        problem_ = "The boot sector's FAT size puts the data area beyond the volume.";
        return;
    }
    DataStart = static_cast<std::uint32_t>(dataStart);

    std::uint64_t totalSectors = LoadLE16(BootSector, kTotalSectors16);
    if (totalSectors == 0)
        totalSectors = LoadLE32(BootSector, kTotalSectors32);
    if (totalSectors == 0)
        totalSectors = volume_->Size() / kSectorSize;
    const std::uint64_t dataSectors = totalSectors > DataStart ? totalSectors - DataStart : 0;
    std::uint64_t limit = dataSectors / SectorsPerCluster() + 2;
    limit = std::min<std::uint64_t>(limit, EntriesInFAT());
    limit = std::min<std::uint64_t>(limit, EndOfChain());
    clusterLimit_ = static_cast<std::uint32_t>(limit);
}

std::uint32_t TFAT32::BytesPerSector() const noexcept { return LoadLE16(BootSector, kBytesPerSector); }
std::uint32_t TFAT32::SectorsPerCluster() const noexcept { return LoadU8(BootSector, kSectorsPerCluster); }
std::uint32_t TFAT32::ReservedSectors() const noexcept { return LoadLE16(BootSector, kReservedSectors); }
std::uint32_t TFAT32::NumberOfFATs() const noexcept { return LoadU8(BootSector, kNumberOfFATs); }
std::uint32_t TFAT32::RootEntries() const noexcept { return LoadLE16(BootSector, kRootEntries); }
std::uint32_t TFAT32::RootCluster() const noexcept { return LoadLE32(BootSector, kRootCluster); }

std::uint32_t TFAT32::SectorsPerFAT() const noexcept
{
    return FATType == kFAT32 ? LoadLE32(BootSector, kSectorsPerFAT32) : LoadLE16(BootSector, kSectorsPerFAT16);
}

std::uint32_t TFAT32::RootKey() const noexcept
{
    if (FATType == kFAT32)
        return RootCluster();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(NumberOfFATs()) * SectorsPerFAT() +
                                      ReservedSectors());
}

std::uint32_t TFAT32::EndOfChain() const noexcept
{
    switch (FATType) {
    case kFAT32: return kEndOfChain32;
    case kFAT16: return kEndOfChain16;
    default: return kEndOfChain12;
    }
}

std::uint32_t TFAT32::EntriesInFAT() const noexcept
{
    const std::uint64_t bits = FATType == kFAT32 ? 32 : FATType == kFAT16 ? 16 : 12;
    const std::uint64_t entries = static_cast<std::uint64_t>(SectorsPerFAT()) * kSectorSize * 8 / bits;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(entries, std::numeric_limits<std::uint32_t>::max()));
}

bool TFAT32::ReadSectors(std::uint32_t count, std::span<std::uint8_t> buffer, std::uint64_t sector) const
{
    if (!volume_)
        return true;
    return ReadVolumeSectors(*volume_, StartSector, BytesPerSector(), count, buffer, sector);
}

std::uint32_t TFAT32::GetFATEntry(std::uint32_t cluster)
{
    if (!Usable() || cluster >= EntriesInFAT())
        return 0;
    std::uint64_t offset = 0;
    switch (FATType) {
    case kFAT32: offset = static_cast<std::uint64_t>(cluster) * 4; break;
    case kFAT16: offset = static_cast<std::uint64_t>(cluster) * 2; break;
    default: offset = static_cast<std::uint64_t>(cluster) * 3 / 2; break;
    }
    const auto index = static_cast<std::int32_t>(offset / kSectorSize);
    const auto o = static_cast<std::size_t>(offset % kSectorSize);

    if (index != CachedFATSector) {
        if (ReadSectors(1, FATCache, static_cast<std::uint64_t>(FATStart) + static_cast<std::uint32_t>(index))) {
            CachedFATSector = -1;
            return 0;
        }
        CachedFATSector = index;
    }
    if (FATType == kFAT32)
        return LoadLE32(FATCache, o);
    if (FATType == kFAT16)
        return LoadLE16(FATCache, o);

    // FAT12: 12 bits at a byte offset of 1.5 per cluster; an entry near the end
    // of a sector is completed from the start of the next FAT sector, read
    // directly so the cache keeps the current one.
    std::uint32_t v = 0;
    if (o + 3 <= kSectorSize) {
        v = LoadLEVar(FATCache, o, 3);
    } else {
        std::array<std::uint8_t, kSectorSize> next{};
        if (ReadSectors(1, next, static_cast<std::uint64_t>(FATStart) + static_cast<std::uint32_t>(index) + 1))
            return 0;
        const std::size_t head = kSectorSize - o;
        v = static_cast<std::uint32_t>(LoadLEVar(FATCache, o, head));
        v |= static_cast<std::uint32_t>(LoadLEVar(next, 0, o - (kSectorSize - 3))) << (8 * head);
    }
    // The byte offset is cluster * 3 / 2, so an odd cluster's 12 bits are the
    // top three nibbles of the 16-bit word there.
    return (cluster & 1) != 0 ? (v >> 4) & 0xFFF : v & 0xFFF;
}

TMemoryStream TFAT32::ReadCluster(std::uint32_t cluster, bool& failed) const
{
    TMemoryStream stream(Usable() ? ClusterBytes() : 0);
    failed = true;
    if (!Usable() || cluster < 2 || cluster >= clusterLimit_)
        return stream;
    const std::uint64_t spc = SectorsPerCluster();
    const std::uint64_t sector = cluster * spc + DataStart - 2 * spc;
    failed = ReadSectors(SectorsPerCluster(), stream.Buffer(), sector);
    return stream;
}

TMemoryStream TFAT32::ReadChain(std::uint32_t firstCluster)
{
    TMemoryStream chain;
    std::uint32_t c = firstCluster;
    // Each cluster is at least 512 bytes, so the byte bound ends any loop.
    for (std::uint32_t n = 0; n < std::max<std::uint32_t>(clusterLimit_, 1); ++n) {
        bool failed = false;
        TMemoryStream cluster = ReadCluster(c, failed);
        if (failed || chain.Size() + cluster.Size() > kMaxDirectoryBytes)
            break;
        chain.Append(cluster.Bytes());
        c = GetFATEntry(c);
        if (c < 2 || c >= EndOfChain())
            break;
    }
    chain.Seek(0);
    return chain;
}

std::uint8_t TFAT32::EstimateCondition(const TDirEntry& entry)
{
    const std::uint64_t size = LoadLE32(entry, kEntryFileSize);
    const std::uint64_t clusterBytes = ClusterBytes();
    if (clusterBytes == 0)
        return kConditionPoor;
    // A deleted file is assumed to have occupied consecutive clusters.
    std::uint64_t c = EntryFirstCluster(entry, FATType);
    for (std::uint64_t pos = 0; pos < size; pos += clusterBytes, ++c) {
        if (c >= clusterLimit_)
            return kConditionPoor;
        if (GetFATEntry(static_cast<std::uint32_t>(c)) >= 2)
            return kConditionPoor;
    }
    return kConditionGood;
}

std::uint8_t TFAT32::FirstClusterCondition(const TDirEntry& entry)
{
    return GetFATEntry(EntryFirstCluster(entry, FATType)) >= 2 ? kConditionPoor : kConditionGood;
}

std::uint32_t EntryFirstCluster(const TDirEntry& entry)
{
    return (static_cast<std::uint32_t>(LoadLE16(entry, kEntryClusterHigh)) << 16) | LoadLE16(entry, kEntryClusterLow);
}

namespace {

// A fixed field taken up to its first NUL and stripped of trailing spaces.
std::string NameField(const TDirEntry& entry, std::size_t offset, std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length && entry[offset + i] != 0; ++i)
        text += static_cast<char>(entry[offset + i]);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

void AppendRun(std::u16string& units, const TDirEntry& entry, std::size_t offset, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t u = LoadLE16(entry, offset + 2 * i);
        if (u == 0)
            return;
        units += u;
    }
}

std::u16string LongNamePart(const TDirEntry& entry)
{
    std::u16string units;
    AppendRun(units, entry, kLongNameRun1, kLongNameRun1Units);
    AppendRun(units, entry, kLongNameRun2, kLongNameRun2Units);
    AppendRun(units, entry, kLongNameRun3, kLongNameRun3Units);
    return units;
}

} // namespace

std::string ShortEntryName(const TDirEntry& entry)
{
    const std::string name = NameField(entry, kEntryName, kEntryNameLength);
    const std::string ext = NameField(entry, kEntryExtension, kEntryExtensionLength);
    std::string result = ext.empty() ? name : name + "." + ext;
    if (result.size() >= 2 && static_cast<std::uint8_t>(result[0]) == kEntryDeleted)
        result[0] = 'x';
    return OemToUtf8(result);
}

std::string ReadLongName(TDirEntry& entry, TMemoryStream& stream)
{
    // Long-name entries are stored last part first; collect, then join backwards.
    std::vector<std::u16string> parts;
    parts.push_back(LongNamePart(entry));
    TDirEntry next{};
    stream.ReadBuffer(next.data(), next.size());
    while (next[kEntryAttributes] == kAttrLongName) {
        parts.push_back(LongNamePart(next));
        stream.ReadBuffer(next.data(), next.size());
    }
    entry = next;
    std::u16string units;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        units += *it;
    std::string name = Utf16UnitsToUtf8(units);
    while (!name.empty() && name.back() == '?')
        name.pop_back();
    return name;
}

TDateTime DosDateTimeToDateTime(std::uint16_t date, std::uint16_t time)
{
    const int day = date & 0x1F;
    const int month = (date >> 5) & 0xF;
    const int year = (date >> 9) + 1980;
    const int hour = time >> 11;
    const int minute = (time >> 5) & 0x3F;
    const int twoSeconds = time & 0x1F;
    if (month < 1 || month > 12 || day == 0 || time >= 0xC000 || minute >= 60 || twoSeconds >= 30)
        return 0;
    return EncodeDateTime({year, month, day, hour, minute, twoSeconds * 2, 0}).value_or(0);
}

} // namespace salvage
