// Opening an NTFS volume, and the sector, cluster and MFT reads.

#include "salvage/fs/NTFS.h"

#include "salvage/disk/Errors.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace salvage {

using namespace ntfs;

namespace {

constexpr std::uint64_t kMaxU64 = std::numeric_limits<std::uint64_t>::max();

// The MFT bitmap has one bit per record and a record takes at least 256
// bytes; more bitmap than that (plus a cluster of slack) is not believable.
[[nodiscard]] std::uint64_t MftBitmapLimit(std::uint64_t volumeBytes, std::uint32_t clusterBytes) noexcept
{
    return volumeBytes / (8 * kMinRecordSize) + clusterBytes;
}

[[nodiscard]] bool HasFileSignature(ByteSpan record) noexcept
{
    return record.size() >= kFileSignature.size() &&
           std::equal(kFileSignature.begin(), kFileSignature.end(), record.begin());
}

// The volume bitmap is read in blocks of this size, whatever the cluster size.
constexpr std::size_t kBitmapBlockBytes = 4096;

// Any of `count` bits from bit `first` of `bytes` (least significant bit
// first) set; the bits lie inside `bytes`.
bool AnyBitSet(const std::vector<std::uint8_t>& bytes, std::size_t first, std::size_t count) noexcept
{
    std::size_t byte = first / 8;
    const unsigned lead = static_cast<unsigned>(first % 8);
    if (lead != 0) {
        const std::size_t n = std::min<std::size_t>(count, 8 - lead);
        const unsigned mask = ((1u << n) - 1) << lead;
        if ((bytes[byte] & mask) != 0)
            return true;
        count -= n;
        ++byte;
    }
    for (; count >= 64; count -= 64, byte += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + byte, sizeof word);
        if (word != 0)
            return true;
    }
    for (; count >= 8; count -= 8, ++byte)
        if (bytes[byte] != 0)
            return true;
    return count != 0 && (bytes[byte] & ((1u << count) - 1)) != 0;
}

std::string SectorsPerClusterText(std::uint8_t value)
{
    if (value > kClusterSizeIsShift)
        return "2^" + std::to_string(256 - value);
    return std::to_string(value);
}

} // namespace

std::optional<std::uint32_t> NtfsSectorsPerCluster(std::uint8_t bootValue, std::uint32_t bytesPerSector) noexcept
{
    std::uint64_t sectors = bootValue;
    if (bootValue > kClusterSizeIsShift) {
        const unsigned shift = 256u - bootValue;
        if (shift >= 32)
            return std::nullopt;
        sectors = std::uint64_t{1} << shift;
    }
    if (!std::has_single_bit(sectors) || bytesPerSector == 0 || sectors > kMaxClusterSize / bytesPerSector)
        return std::nullopt;
    return static_cast<std::uint32_t>(sectors);
}

std::optional<std::uint32_t> NtfsRecordSize(std::uint32_t bootValue, std::uint32_t clusterBytes) noexcept
{
    std::uint64_t size = 0;
    if (bootValue > kRecordSizeIsShift) {
        // The value is a signed byte on disk; wider values are garbage.
        if (bootValue <= 0xFF && 256 - bootValue < 32)
            size = std::uint64_t{1} << (256 - bootValue);
    } else {
        size = std::uint64_t{bootValue} * clusterBytes;
    }
    if (!std::has_single_bit(size) || size < kMinRecordSize || size > kMaxRecordSize)
        return std::nullopt;
    return static_cast<std::uint32_t>(size);
}

#if defined(_WIN32)
struct TNTFS::FileSystemHandle {
    HANDLE Handle = INVALID_HANDLE_VALUE;
    ~FileSystemHandle()
    {
        if (Handle != INVALID_HANDLE_VALUE)
            CloseHandle(Handle);
    }
};
#else
struct TNTFS::FileSystemHandle {};
#endif

TNTFS::TNTFS() = default;
TNTFS::~TNTFS() = default;

TNTFSOpenResult TNTFS::OpenNTFSVolume(const TLogicalDisk& disk, std::uint64_t& recordCount)
{
    CloseNTFSVolume();
    recordCount = 0;
    platform::OpenError error;
    platform::VolumePtr volume = OpenLogicalDisk(disk, error);
    if (!volume)
        return {error.code, error.message.empty() ? "The volume cannot be opened." : error.message};
    TNTFSOpenResult result = OpenNTFSVolume(std::move(volume), recordCount);
#if defined(_WIN32)
    // The file system answers for the records it uses, but only for a
    // mounted volume opened whole by its device path.
    if (result.Ok() && disk.ByteOffset == 0 && disk.ByteLength == 0 && disk.DevicePath.rfind("\\\\.\\", 0) == 0) {
        fsHandle_ = std::make_unique<FileSystemHandle>();
        fsHandle_->Handle = CreateFileA(disk.DevicePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    }
#endif
    return result;
}

TNTFSOpenResult TNTFS::OpenNTFSVolume(platform::VolumePtr volume, std::uint64_t& recordCount)
{
    return OpenVolume(std::move(volume), nullptr, recordCount);
}

TNTFSOpenResult TNTFS::OpenNTFSVolume(platform::VolumePtr volume, const BootSectorBytes& bootSector,
                                      std::uint64_t& recordCount)
{
    return OpenVolume(std::move(volume), &bootSector, recordCount);
}

TNTFSOpenResult TNTFS::OpenVolume(platform::VolumePtr volume, const BootSectorBytes* bootSector,
                                  std::uint64_t& recordCount)
{
    CloseNTFSVolume();
    recordCount = 0;
    if (!volume)
        return {0, "The volume is not open."};
    volume_ = std::move(volume);
    TNTFSOpenResult result;
    try {
        result = Setup(bootSector);
    } catch (const ERangeError& e) {
        result = {0, e.what()};
    }
    if (!result.Ok()) {
        CloseNTFSVolume();
        return result;
    }
    recordCount = recordCount_;
    return result;
}

void TNTFS::CloseNTFSVolume() noexcept
{
    volume_.reset();
    fsHandle_.reset();
    boot_.fill(0);
    bytesPerSector_ = sectorsPerCluster_ = recordSize_ = 0;
    mftCluster_ = clusterCount_ = recordCount_ = 0;
    mftRecord_.clear();
    mftData_ = TNTFSStream{};
    mftBitmap_.clear();
    bitmapRecord_.clear();
    bitmapData_ = TNTFSStream{};
    bitmapBlock_ = TBitmapBlock{};
}

TNTFSOpenResult TNTFS::Setup(const BootSectorBytes* bootSector)
{
    if (bootSector)
        boot_ = *bootSector;
    else if (!volume_->ReadAt(0, boot_))
        return {0, "The boot sector cannot be read."};

    bytesPerSector_ = LoadLE16(boot_, kBootBytesPerSector);
    if (!std::has_single_bit(bytesPerSector_) || bytesPerSector_ < kMinSectorSize || bytesPerSector_ > kMaxSectorSize)
        return {0, "The boot sector gives " + std::to_string(bytesPerSector_) +
                       " bytes per sector: this is not a usable NTFS volume."};
    const auto sectorsPerCluster = NtfsSectorsPerCluster(LoadU8(boot_, kBootSectorsPerCluster), bytesPerSector_);
    if (!sectorsPerCluster)
        return {0, "The boot sector gives " + SectorsPerClusterText(LoadU8(boot_, kBootSectorsPerCluster)) +
                       " sectors per cluster: this is not a usable NTFS volume."};
    sectorsPerCluster_ = *sectorsPerCluster;

    const std::uint32_t perRecord = LoadLE32(boot_, kBootClustersPerRecord);
    const auto recordSize = NtfsRecordSize(perRecord, ClusterBytes());
    if (!recordSize)
        return {0, "The boot sector gives no usable MFT record size (value " + std::to_string(perRecord) + ")."};
    recordSize_ = *recordSize;

    // The volume's size bounds every cluster number and every size we accept.
    std::uint64_t totalSectors = LoadLE64(boot_, kBootTotalSectors);
    const std::uint64_t deviceSectors = volume_->Size() / bytesPerSector_;
    if (deviceSectors != 0 && (totalSectors == 0 || totalSectors > deviceSectors))
        totalSectors = deviceSectors;  // an image cut short: read what is there
    clusterCount_ = std::min(totalSectors, kMaxU64 / bytesPerSector_) / sectorsPerCluster_;
    if (clusterCount_ == 0)
        return {0, "The boot sector gives the volume no size."};
    const std::uint64_t volumeBytes = clusterCount_ * ClusterBytes();

    mftCluster_ = LoadLE64(boot_, kBootMftCluster);
    if (mftCluster_ >= clusterCount_)
        return {0, "The boot sector puts the MFT beyond the end of the volume."};

    mftRecord_.assign(recordSize_, 0);
    if (!volume_->ReadAt(mftCluster_ * ClusterBytes(), mftRecord_) ||
        ApplyFixups(mftRecord_) != TFixupResult::Applied || !HasFileSignature(mftRecord_))
        return {0, "The MFT's own record cannot be read: the volume is damaged."};

    // The MFT's own extents are records of the MFT: each is read through the
    // runs of the extents before it (the file system keeps them there).
    const auto data = CollectStream(
        mftRecord_, kMftRecord, u"",
        [this](std::uint64_t n, std::span<std::uint8_t> buffer) { return ReadMFTRecord(n, buffer); },
        [this](const TNTFSStream& grown) {
            mftData_.Runs = grown.Runs;
            mftData_.MappedClusters = grown.MappedClusters;
        });
    if (!data || data->Resident || data->MappedClusters == 0)
        return {0, "The MFT's own record has no usable data attribute: the volume is damaged."};
    mftData_ = *data;
    // More records than the volume can hold would be a scan of nothing.
    const std::uint64_t mftBytes = data->Size;
    if (mftBytes > volumeBytes)
        return {0, "The MFT claims " + std::to_string(mftBytes) + " bytes, more than the volume holds."};

    const auto bitmap = FindAttribute(mftRecord_, kBitmap, std::nullopt, true, 0);
    if (!bitmap)
        return {0, "The MFT's own record has no bitmap: the volume is damaged."};
    if (AttributeAllocatedSize(*bitmap) > MftBitmapLimit(volumeBytes, ClusterBytes()) ||
        !ReadAttributeData(*bitmap, mftBitmap_, MftBitmapLimit(volumeBytes, ClusterBytes())))
        return {0, "The MFT bitmap cannot be read: the volume is damaged."};
    // Only the real size is bitmap; the rest of the last cluster (up to
    // 2 MiB of it) is slack.
    if (bitmap->NonResident() && bitmap->RealSize() < mftBitmap_.size()) {
        mftBitmap_.resize(static_cast<std::size_t>(bitmap->RealSize()));
        mftBitmap_.shrink_to_fit();
    }

    // Without $Bitmap every cluster reads as free, as a failed read would.
    bitmapRecord_.assign(recordSize_, 0);
    if (!ReadMFTRecord(kBitmapRecord, bitmapRecord_))
        std::fill(bitmapRecord_.begin(), bitmapRecord_.end(), std::uint8_t{0});
    else if (auto bitmapData = ReadStream(bitmapRecord_, kBitmapRecord, u""); bitmapData && !bitmapData->Resident)
        bitmapData_ = std::move(*bitmapData);

    recordCount_ = mftBytes / recordSize_;
    return {};
}

bool TNTFS::ReadVolumeSectors(std::uint64_t count, std::span<std::uint8_t> buffer, std::uint64_t sector) const
{
    if (!volume_ || bytesPerSector_ == 0 || count > buffer.size() / bytesPerSector_ ||
        sector > kMaxU64 / bytesPerSector_)
        return true;
    return !volume_->ReadAt(sector * bytesPerSector_, buffer.first(static_cast<std::size_t>(count * bytesPerSector_)));
}

bool TNTFS::ReadClusters(std::uint64_t count, std::span<std::uint8_t> buffer, std::uint64_t lcn) const
{
    if (sectorsPerCluster_ == 0 || count > kMaxU64 / sectorsPerCluster_ || lcn > kMaxU64 / sectorsPerCluster_)
        return true;
    return ReadVolumeSectors(count * sectorsPerCluster_, buffer, lcn * sectorsPerCluster_);
}

std::uint64_t TNTFS::AttributeAllocatedSize(const TNTFSAttribute& attribute)
{
    if (!attribute.NonResident())
        return attribute.ValueLength();
    const std::uint64_t size = attribute.AllocatedSize();
    if ((size >> 32) != 0)
        throw ERangeError();
    return size;
}

std::uint64_t TNTFS::AttributeDataSize(const TNTFSAttribute& attribute) noexcept
{
    return attribute.NonResident() ? attribute.RealSize() : attribute.ValueLength();
}

std::optional<TVcnMapping> TNTFS::MapVCN(const TNTFSAttribute& attribute, std::uint64_t vcn) const
{
    if (!attribute.NonResident() || vcn < attribute.LowestVcn() || vcn > attribute.HighestVcn())
        return std::nullopt;
    return MapVcnInRuns(attribute.RunList(), attribute.LowestVcn(), vcn, clusterCount_);
}

namespace {

// Reads `count` clusters from `vcn` through decoded runs; a VCN outside
// [lowest, highest] or in no run stops the read with false.
bool ReadThroughRuns(const TNTFS& reader, const std::vector<TDataRun>& runs, std::uint64_t lowest,
                     std::uint64_t highest, std::uint64_t count, std::span<std::uint8_t> buffer, std::uint64_t vcn)
{
    const std::uint64_t clusterBytes = reader.ClusterBytes();
    if (clusterBytes == 0 || count > buffer.size() / clusterBytes)
        return false;
    std::size_t done = 0;
    while (count > 0) {  // every step takes at least one cluster
        if (vcn < lowest || vcn > highest)
            return false;
        const auto m = MapVcnInRuns(runs, vcn);
        if (!m)
            return false;
        const std::uint64_t n = std::min(m->RunRemaining, count);
        const auto part = buffer.subspan(done, static_cast<std::size_t>(n * clusterBytes));
        if (m->Sparse)
            std::fill(part.begin(), part.end(), std::uint8_t{0});
        else if (reader.ReadClusters(n, part, m->Lcn))
            return false;
        done += part.size();
        count -= n;
        vcn += n;
    }
    return true;
}

} // namespace

bool TNTFS::ReadAttributeClusters(ByteSpan record, std::uint32_t type, std::uint64_t count,
                                  std::span<std::uint8_t> buffer, std::uint64_t vcn) const
{
    const auto attribute = FindAttribute(record, type, std::nullopt, false, 0);
    if (!attribute || !attribute->NonResident())
        return false;
    const TRunList runs = DecodeDataRuns(attribute->RunList(), attribute->LowestVcn(), clusterCount_);
    return ReadThroughRuns(*this, runs.Runs, attribute->LowestVcn(), attribute->HighestVcn(), count, buffer, vcn);
}

bool TNTFS::ReadAttributeData(const TNTFSAttribute& attribute, std::vector<std::uint8_t>& buffer,
                              std::uint64_t limit) const
{
    if (!attribute.NonResident()) {
        const ByteSpan value = attribute.Value();
        if (value.size() > limit)
            return false;
        buffer.assign(value.begin(), value.end());
        return true;
    }
    buffer.clear();
    const std::uint64_t highest = attribute.HighestVcn();
    if (highest == kMaxU64)
        return true;  // an empty attribute: highest VCN -1
    const std::uint64_t clusters = highest + 1;
    if (ClusterBytes() == 0 || clusters > clusterCount_ || clusters > limit / ClusterBytes())
        return false;
    buffer.resize(static_cast<std::size_t>(clusters * ClusterBytes()));
    const TRunList runs = DecodeDataRuns(attribute.RunList(), attribute.LowestVcn(), clusterCount_);
    if (!ReadThroughRuns(*this, runs.Runs, attribute.LowestVcn(), highest, clusters, buffer, 0)) {
        buffer.clear();
        return false;
    }
    return true;
}

bool TNTFS::ReadRunBytes(const std::vector<TDataRun>& runs, std::uint64_t mappedClusters, std::uint64_t offset,
                         std::span<std::uint8_t> out) const
{
    const std::uint64_t clusterBytes = ClusterBytes();
    if (!volume_ || clusterBytes == 0 || out.size() > kMaxU64 - offset)
        return false;
    std::size_t done = 0;
    while (done < out.size()) {  // every step takes at least one byte
        const std::uint64_t at = offset + done;
        const std::uint64_t vcn = at / clusterBytes;
        const std::uint64_t inCluster = at % clusterBytes;
        if (vcn >= mappedClusters)
            return false;
        const auto m = MapVcnInRuns(runs, vcn);
        if (!m)
            return false;
        // Runs lie inside the volume, so these products cannot overflow.
        const std::uint64_t available = m->RunRemaining * clusterBytes - inCluster;
        const auto part = out.subspan(done, static_cast<std::size_t>(std::min<std::uint64_t>(available, out.size() - done)));
        if (m->Sparse)
            std::fill(part.begin(), part.end(), std::uint8_t{0});
        else if (!volume_->ReadAt(m->Lcn * clusterBytes + inCluster, part))
            return false;
        done += part.size();
    }
    return true;
}

bool TNTFS::ReadMftBytes(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    return ReadRunBytes(mftData_.Runs, mftData_.MappedClusters, offset, out);
}

bool TNTFS::ReadMFTRecord(std::uint64_t n, std::span<std::uint8_t> buffer) const
{
    // The record is the RecordSize bytes at N x RecordSize of the MFT's data:
    // a part of a cluster when records are smaller than clusters, several
    // clusters when they are larger.
    if (!volume_ || buffer.size() < recordSize_ || n > kMaxU64 / recordSize_)
        return false;
    const auto record = buffer.first(recordSize_);
    return ReadMftBytes(n * recordSize_, record) && ApplyFixups(record) == TFixupResult::Applied;
}

bool TNTFS::ReadRawMFTRecords(std::uint64_t first, std::uint64_t count, std::span<std::uint8_t> buffer) const
{
    if (!volume_ || count > buffer.size() / recordSize_ || first > kMaxU64 / recordSize_)
        return false;
    return ReadMftBytes(first * recordSize_, buffer.first(static_cast<std::size_t>(count * recordSize_)));
}

bool TNTFS::IsRecordInUse(std::uint64_t n) const noexcept
{
    const std::uint64_t byte = n / 8;
    if (byte >= mftBitmap_.size())
        return false;
    return (mftBitmap_[static_cast<std::size_t>(byte)] >> (n % 8) & 1) != 0;
}

void TNTFS::LoadBitmapBlock(std::uint64_t index, TBitmapBlock& block) const
{
    if (!block.Valid || block.Index != index) {
        block.Bytes.resize(kBitmapBlockBytes);
        block.Index = index;
        block.Valid = true;
        // The bitmap's last block may be cut short by its last cluster.
        const std::uint64_t mappedBytes =
            std::min(bitmapData_.MappedClusters, kMaxU64 / ClusterBytes()) * ClusterBytes();
        const std::uint64_t at = index * kBitmapBlockBytes;
        const std::size_t take =
            at < mappedBytes ? static_cast<std::size_t>(std::min<std::uint64_t>(kBitmapBlockBytes, mappedBytes - at)) : 0;
        std::fill(block.Bytes.begin(), block.Bytes.end(), std::uint8_t{0});
        block.Read = take != 0 && ReadRunBytes(bitmapData_.Runs, bitmapData_.MappedClusters, at,
                                               std::span(block.Bytes).first(take));
    }
}

bool TNTFS::IsClusterInUse(std::uint64_t lcn)
{
    return IsClusterInUse(lcn, bitmapBlock_);
}

bool TNTFS::IsClusterInUse(std::uint64_t lcn, TBitmapBlock& block) const
{
    if (!volume_)
        return false;
    const std::uint64_t byte = lcn / 8;
    LoadBitmapBlock(byte / kBitmapBlockBytes, block);
    if (!block.Read)
        return false;  // unreadable bitmap: counts as free
    return (block.Bytes[static_cast<std::size_t>(byte % kBitmapBlockBytes)] >> (lcn % 8) & 1) != 0;
}

bool TNTFS::AnyClusterInUse(std::uint64_t lcn, std::uint64_t count)
{
    return AnyClusterInUse(lcn, count, bitmapBlock_);
}

bool TNTFS::AnyClusterInUse(std::uint64_t lcn, std::uint64_t count, TBitmapBlock& block) const
{
    if (!volume_)
        return false;
    count = std::min(count, kMaxU64 - lcn);  // no cluster number past the largest
    constexpr std::uint64_t kBlockClusters = kBitmapBlockBytes * 8;
    while (count > 0) {  // every step takes the rest of a block, at least one cluster
        const std::uint64_t index = lcn / kBlockClusters;
        const std::uint64_t bit = lcn - index * kBlockClusters;
        const std::uint64_t take = std::min(count, kBlockClusters - bit);
        LoadBitmapBlock(index, block);
        // An unreadable block counts as free, cluster by cluster.
        if (block.Read && AnyBitSet(block.Bytes, static_cast<std::size_t>(bit), static_cast<std::size_t>(take)))
            return true;
        lcn += take;
        count -= take;
    }
    return false;
}

bool TNTFS::FetchRecord(std::uint64_t n, std::span<std::uint8_t> buffer) const
{
    if (FetchFromFileSystem(n, buffer))
        return true;
    if (!ReadMFTRecord(n, buffer))
        return false;
    const ByteSpan record = buffer.first(recordSize_);
    if (!HasFileSignature(record))
        return false;
    // Records of NTFS 3.1 name themselves; one that names another record is
    // not N's own (a damaged MFT, or a list entry pointing astray).
    if (LoadLE16(record, kRecUsaOffset) >= kRecNumberedUsaOffset &&
        LoadLE32(record, kRecNumber) != static_cast<std::uint32_t>(n))
        return false;
    return true;
}

#if defined(_WIN32)
bool TNTFS::FetchFromFileSystem(std::uint64_t n, std::span<std::uint8_t> buffer) const
{
    if (!fsHandle_ || fsHandle_->Handle == INVALID_HANDLE_VALUE || buffer.size() < recordSize_)
        return false;
    std::uint8_t in[8];
    for (int i = 0; i < 8; ++i)
        in[i] = static_cast<std::uint8_t>(n >> (8 * i));
    std::vector<std::uint8_t> out(recordSize_ + 15);
    DWORD returned = 0;
    if (!DeviceIoControl(fsHandle_->Handle, FileRecordCode, in, sizeof in, out.data(),
                         static_cast<DWORD>(out.size()), &returned, nullptr))
        return false;
    // The file system answers a free record with the closest earlier one in use.
    if ((LoadLE64(out, kFileRecordOutNumber) & 0xFFFFFFFFFFFFull) != n)
        return false;
    std::fill(buffer.begin(), buffer.begin() + recordSize_, std::uint8_t{0});
    const std::size_t length = std::min<std::size_t>(LoadLE32(out, 8), recordSize_);
    std::memcpy(buffer.data(), out.data() + kFileRecordOutRecord, std::min<std::size_t>(length, out.size() - kFileRecordOutRecord));
    return true;
}
#else
bool TNTFS::FetchFromFileSystem(std::uint64_t, std::span<std::uint8_t>) const
{
    return false;  // no FSCTL_GET_NTFS_FILE_RECORD: records come from the disk
}
#endif

} // namespace salvage
