#pragma once
// NTFS volume reader: the boot sector, MFT records with their update-sequence
// fixups, attributes (following attribute lists), data runs, and the MFT and
// volume bitmaps. Only reading is done.
//
// One TNTFS object per open volume. Its const calls touch nothing but the
// volume and what the open set up, so several threads may make them at once
// (the search decodes the MFT on more than one); a cluster question of such
// a call takes the asking thread's own TBitmapBlock. The other calls keep a
// block of the object's own and serve one thread at a time.
//
// Records that the file system still uses are read from the disk like free
// ones; on Windows, when the volume was opened by its device path, they are
// asked of the file system (FSCTL_GET_NTFS_FILE_RECORD) first.

#include "platform/Volume.h"
#include "salvage/disk/Bytes.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/fs/DataRuns.h"
#include "salvage/fs/NTFSLayout.h"

#include <array>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace salvage {

// One attribute of an MFT record. Its header, name and (for a resident
// attribute) value have been checked to lie inside the attribute, and the
// attribute inside its record. It views the record's bytes: the caller keeps
// the record alive, except for attributes found through an attribute list,
// whose record the attribute holds itself.
class TNTFSAttribute {
public:
    [[nodiscard]] ByteSpan Bytes() const noexcept { return bytes_; }
    [[nodiscard]] std::uint32_t Type() const noexcept { return LoadLE32(bytes_, ntfs::kAttrType); }
    [[nodiscard]] std::uint32_t Length() const noexcept { return static_cast<std::uint32_t>(bytes_.size()); }
    [[nodiscard]] bool NonResident() const noexcept { return LoadU8(bytes_, ntfs::kAttrNonResident) != 0; }
    // The attribute's name as UTF-16LE bytes (empty for an unnamed attribute).
    [[nodiscard]] ByteSpan NameBytes() const noexcept;

    // Resident attributes: the value (empty for a non-resident one).
    [[nodiscard]] ByteSpan Value() const noexcept;
    [[nodiscard]] std::uint32_t ValueLength() const noexcept { return LoadLE32(bytes_, ntfs::kAttrValueLength); }

    // Non-resident attributes.
    [[nodiscard]] std::uint64_t LowestVcn() const noexcept { return LoadLE64(bytes_, ntfs::kAttrLowestVcn); }
    [[nodiscard]] std::uint64_t HighestVcn() const noexcept { return LoadLE64(bytes_, ntfs::kAttrHighestVcn); }
    [[nodiscard]] std::uint64_t AllocatedSize() const noexcept { return LoadLE64(bytes_, ntfs::kAttrAllocatedSize); }
    [[nodiscard]] std::uint64_t RealSize() const noexcept { return LoadLE64(bytes_, ntfs::kAttrDataSize); }
    [[nodiscard]] std::uint64_t ValidSize() const noexcept { return LoadLE64(bytes_, ntfs::kAttrValidSize); }
    [[nodiscard]] std::uint16_t Flags() const noexcept { return LoadLE16(bytes_, ntfs::kAttrFlags); }
    [[nodiscard]] std::uint8_t CompressionUnitShift() const noexcept { return LoadU8(bytes_, ntfs::kAttrCompressionUnit); }
    // The run list: from the run offset to the attribute's end.
    [[nodiscard]] ByteSpan RunList() const noexcept;

    // Checks the attribute at `offset` of `record`. Nullopt when it cannot be
    // used: header or length outside the record, a name or a resident value
    // outside the attribute, a non-resident header too short for its fields.
    [[nodiscard]] static std::optional<TNTFSAttribute> At(ByteSpan record, std::size_t offset);

private:
    explicit TNTFSAttribute(ByteSpan bytes) : bytes_(bytes) {}
    friend class TNTFS;

    ByteSpan bytes_;
    std::shared_ptr<const std::vector<std::uint8_t>> owner_;  // a record fetched through a list
};

// A named $DATA attribute (an alternate data stream) as the search lists it.
struct TNTFSNamedStream {
    std::u16string Name;
    std::uint64_t Size = 0;
    std::uint16_t Flags = 0;  // attribute flags (ntfs::AttrFlag)
};

// A $FILE_NAME value as the reader takes it apart.
struct TNTFSFileName {
    std::u16string Name;
    std::uint64_t Parent = 0;
    std::uint8_t Namespace = 0;
};

// What GetDeletedRecordInfo and GetLiveRecordInfo take out of a record.
struct TNTFSRecordInfo {
    std::u16string Name;               // the chosen $FILE_NAME (NameLength = Name.size())
    std::uint16_t Flags = 0;           // record header flags
    std::uint64_t ParentRef = 0;       // the chosen name's parent reference
    std::uint64_t Size = 0;            // real size of the unnamed $DATA, 0 without one
    std::array<std::uint8_t, ntfs::kStdInfoSize> StdInfo{};  // zeros without $STANDARD_INFORMATION
    std::uint16_t Sequence = 0;        // the record's sequence number
    std::uint16_t DataFlags = 0;       // attribute flags of the unnamed $DATA
    std::vector<TNTFSNamedStream> Streams;  // named $DATA attributes, in record order
    // Where the unnamed $DATA's first extent lies in the record (0: not in
    // it), and whether the record has an attribute list: what the condition
    // estimate needs to work on the record without walking it again.
    std::uint32_t DataAt = 0;
    bool Listed = false;

    [[nodiscard]] std::uint64_t CreationTime() const noexcept { return LoadLE64(StdInfo, ntfs::kStdCreationTime); }
    [[nodiscard]] std::uint64_t LastWriteTime() const noexcept { return LoadLE64(StdInfo, ntfs::kStdLastWriteTime); }
    [[nodiscard]] std::uint64_t LastAccessTime() const noexcept { return LoadLE64(StdInfo, ntfs::kStdLastAccessTime); }
    [[nodiscard]] bool InUse() const noexcept { return ntfs::HasFlag(Flags, ntfs::RecordFlag::InUse); }
    [[nodiscard]] bool Directory() const noexcept { return ntfs::HasFlag(Flags, ntfs::RecordFlag::Directory); }
};

// One data stream of a file: its unnamed $DATA (the contents) or a named
// one, with the runs of every extent in VCN order. The header fields come
// from the extent that starts at VCN 0.
struct TNTFSStream {
    std::u16string Name;                // empty for the file's contents
    std::uint16_t Flags = 0;            // attribute flags (ntfs::AttrFlag)
    bool Resident = false;
    std::vector<std::uint8_t> Value;    // a resident stream's bytes
    std::uint64_t Size = 0;             // real size
    std::uint64_t ValidSize = 0;        // bytes written; past it the stream reads as zeros
    std::uint32_t CompressionUnit = 0;  // clusters per compression unit; 0 when not compressed
    std::vector<ntfs::TDataRun> Runs;   // every extent's runs, by VCN
    std::uint64_t MappedClusters = 0;   // VCNs 0 .. MappedClusters - 1 are covered by extents
    bool ExtentMissing = false;         // an extent could not be found, checked or decoded

    [[nodiscard]] bool Compressed() const noexcept { return CompressionUnit != 0; }
    [[nodiscard]] bool Encrypted() const noexcept { return ntfs::HasFlag(Flags, ntfs::AttrFlag::Encrypted); }
};

// How one compression unit of a compressed stream came out.
enum class TUnitResult { Ok, Unreadable, Corrupt };

// Result of opening a volume: Code is the system's error code when the system
// refused the open (its text in Message), 0 otherwise; Message says in a
// sentence why a volume could not be used and is empty on success.
struct TNTFSOpenResult {
    int Code = 0;
    std::string Message;
    [[nodiscard]] bool Ok() const noexcept { return Message.empty(); }
};

// True when UTF-16LE name bytes (an attribute's or a list entry's) spell `name` exactly.
[[nodiscard]] bool NameMatches(ByteSpan nameBytes, std::u16string_view name) noexcept;

// True when an attribute-list entry names an attribute called `name`.
[[nodiscard]] bool ListEntryNameMatches(ByteSpan entry, std::u16string_view name) noexcept;

// How a MFT record's update sequence came out.
enum class TFixupResult { Applied, Torn, Malformed };

// Applies a record's update-sequence fixups in place: the last two bytes of
// every 512-byte block must hold the sequence number and are replaced by the
// saved values. Torn: a block's value differs (a write that did not finish).
// Malformed: the array lies outside the record or names blocks past its end.
// A count below 2 means no fixups and gives Applied.
[[nodiscard]] TFixupResult ApplyFixups(std::span<std::uint8_t> record) noexcept;

// Bytes per MFT record from the boot sector's clusters-per-record value: a
// value above 127 means 2 to the power of (256 - value) bytes, any other
// value counts clusters. Nullopt unless the result is a power of two from
// 256 bytes to 64 KiB.
[[nodiscard]] std::optional<std::uint32_t> NtfsRecordSize(std::uint32_t bootValue, std::uint32_t clusterBytes) noexcept;

// Sectors per cluster from the boot sector's byte at offset 13: a value
// above 0x80 means 2 to the power of (256 - value) sectors. Nullopt unless
// it is a power of two and the cluster at most 2 MiB.
[[nodiscard]] std::optional<std::uint32_t> NtfsSectorsPerCluster(std::uint8_t bootValue,
                                                                 std::uint32_t bytesPerSector) noexcept;

// The block of $Bitmap a thread's cluster questions last needed, and whether
// it could be read: each answer is that of one read of the bitmap.
struct TBitmapBlock {
    std::vector<std::uint8_t> Bytes;
    std::uint64_t Index = 0;
    bool Valid = false;  // Bytes hold block Index
    bool Read = false;   // ... and the block could be read
};

class TNTFS {
public:
    TNTFS();
    ~TNTFS();
    TNTFS(const TNTFS&) = delete;
    TNTFS& operator=(const TNTFS&) = delete;

    // Opens the drive's volume read-only and loads the boot sector, the MFT's
    // own record, the MFT bitmap and the $Bitmap record. RecordCount is the
    // number of MFT records.
    [[nodiscard]] TNTFSOpenResult OpenNTFSVolume(const TLogicalDisk& disk, std::uint64_t& recordCount);
    // The same over a volume that is already open (a partition, a memory volume).
    [[nodiscard]] TNTFSOpenResult OpenNTFSVolume(platform::VolumePtr volume, std::uint64_t& recordCount);
    // The same with the volume's first sector as already read (by whoever
    // chose the volume), so that it is not read again.
    [[nodiscard]] TNTFSOpenResult OpenNTFSVolume(platform::VolumePtr volume, const BootSectorBytes& bootSector,
                                                 std::uint64_t& recordCount);
    void CloseNTFSVolume() noexcept;
    [[nodiscard]] bool IsOpen() const noexcept { return volume_ != nullptr; }

    // Geometry (valid once open).
    [[nodiscard]] const BootSectorBytes& BootSector() const noexcept { return boot_; }
    [[nodiscard]] std::uint32_t BytesPerSector() const noexcept { return bytesPerSector_; }
    [[nodiscard]] std::uint32_t SectorsPerCluster() const noexcept { return sectorsPerCluster_; }
    // At most 2 MiB: 4096 sectors of 512 bytes, or 512 of 4096.
    [[nodiscard]] std::uint32_t ClusterBytes() const noexcept { return bytesPerSector_ * sectorsPerCluster_; }
    [[nodiscard]] std::uint32_t RecordSize() const noexcept { return recordSize_; }
    [[nodiscard]] std::uint64_t MftCluster() const noexcept { return mftCluster_; }
    [[nodiscard]] std::uint64_t RecordCount() const noexcept { return recordCount_; }
    [[nodiscard]] std::uint64_t ClusterCount() const noexcept { return clusterCount_; }
    [[nodiscard]] const platform::VolumePtr& Volume() const noexcept { return volume_; }
    // MFT record 0, fixed up.
    [[nodiscard]] ByteSpan MFTRecord() const noexcept { return mftRecord_; }

    // Sector and cluster reads. They return "failed", like the disk layer's
    // sector read rule: true when the read failed, came up short or does not
    // fit the buffer.
    [[nodiscard]] bool ReadVolumeSectors(std::uint64_t count, std::span<std::uint8_t> buffer,
                                         std::uint64_t sector) const;
    [[nodiscard]] bool ReadClusters(std::uint64_t count, std::span<std::uint8_t> buffer, std::uint64_t lcn) const;

    // The index-th attribute (0 = the first) of `type` in `record`, with the
    // given name when `name` is set (UTF-16 units compared exactly). With
    // `followList`, an attribute list in the record is followed when the
    // record itself has no match: the first list entry of the type (and
    // name) that starts at VCN 0 names the record to look in next. Only the
    // first extent is found this way; ReadStream collects them all.
    [[nodiscard]] std::optional<TNTFSAttribute> FindAttribute(ByteSpan record, std::uint32_t type,
                                                              std::optional<std::u16string_view> name,
                                                              bool followList, std::uint32_t index) const;

    // Calls visit(attribute) for each usable attribute of `record` in order
    // (no list following) until it returns false. The walk ends at the end
    // marker, at a length of 0 or past the record, and after as many steps as
    // the record could hold attributes.
    static void ForEachAttribute(ByteSpan record, const std::function<bool(const TNTFSAttribute&)>& visit);

    // Resident: the value length. Non-resident: the allocated size; an upper
    // half above 0 raises ERangeError.
    [[nodiscard]] static std::uint64_t AttributeAllocatedSize(const TNTFSAttribute& attribute);
    // Resident: the value length. Non-resident: the real size.
    [[nodiscard]] static std::uint64_t AttributeDataSize(const TNTFSAttribute& attribute) noexcept;

    // Where a VCN of a non-resident attribute lies. Nullopt when it is below
    // the lowest or above the highest VCN, or no (trustworthy) run covers it.
    // A sparse run gives LCN 0 with Sparse set.
    [[nodiscard]] std::optional<ntfs::TVcnMapping> MapVCN(const TNTFSAttribute& attribute, std::uint64_t vcn) const;

    // Reads `count` clusters of the first attribute of `type` in `record` (no
    // list following) from `vcn`, sparse runs as zeros. False when there is
    // no such non-resident attribute, a VCN cannot be mapped, the buffer is
    // too small or a read fails.
    [[nodiscard]] bool ReadAttributeClusters(ByteSpan record, std::uint32_t type, std::uint64_t count,
                                             std::span<std::uint8_t> buffer, std::uint64_t vcn) const;
    // The attribute's whole value: a resident value, or highest VCN + 1
    // clusters of a non-resident one (at most `limit` bytes; more is refused).
    [[nodiscard]] bool ReadAttributeData(const TNTFSAttribute& attribute, std::vector<std::uint8_t>& buffer,
                                         std::uint64_t limit) const;

    // MFT record N, fixed up, into the first RecordSize() bytes of buffer.
    // False when it cannot be read or its update sequence is torn or broken.
    [[nodiscard]] bool ReadMFTRecord(std::uint64_t n, std::span<std::uint8_t> buffer) const;
    // Records first .. first + count - 1 as stored (not fixed up), read in
    // as few large reads as the MFT's runs allow. For sequential scans; the
    // bytes are those ReadMFTRecord starts from.
    [[nodiscard]] bool ReadRawMFTRecords(std::uint64_t first, std::uint64_t count, std::span<std::uint8_t> buffer) const;

    // The MFT bitmap's bit for record N (records past it are free).
    [[nodiscard]] bool IsRecordInUse(std::uint64_t n) const noexcept;
    // The volume bitmap's bit for a cluster; a cluster whose bitmap part
    // cannot be read counts as free.
    [[nodiscard]] bool IsClusterInUse(std::uint64_t lcn);
    [[nodiscard]] bool IsClusterInUse(std::uint64_t lcn, TBitmapBlock& block) const;
    // True when any of `count` clusters from `lcn` is in use: IsClusterInUse
    // of each, a bitmap block (not a cluster) at a time.
    [[nodiscard]] bool AnyClusterInUse(std::uint64_t lcn, std::uint64_t count);
    [[nodiscard]] bool AnyClusterInUse(std::uint64_t lcn, std::uint64_t count, TBitmapBlock& block) const;

    // A record free in the MFT bitmap, read from the disk: its name, parent,
    // flags, dates and size. False when the record is in use, unreadable,
    // has no "FILE" signature or no usable $FILE_NAME.
    [[nodiscard]] bool GetDeletedRecordInfo(std::uint64_t n, TNTFSRecordInfo& info) const;
    // The same on the raw bytes of record N (from ReadRawMFTRecords); the
    // span is fixed up in place.
    [[nodiscard]] bool GetDeletedRecordInfo(std::uint64_t n, std::span<std::uint8_t> raw, TNTFSRecordInfo& info) const;
    // A record in use. False when it is free, unreadable, not N's own record
    // (its number field says otherwise) or has no usable $FILE_NAME.
    [[nodiscard]] bool GetLiveRecordInfo(std::uint64_t n, TNTFSRecordInfo& info) const;
    [[nodiscard]] bool GetLiveRecordInfo(std::uint64_t n, std::span<std::uint8_t> raw, TNTFSRecordInfo& info) const;

    // Takes a fixed-up record apart (names, flags, dates, size); attribute
    // lists are followed through this volume. False without a usable
    // $FILE_NAME. The two calls above end here.
    [[nodiscard]] bool GetRecordInfo(ByteSpan record, TNTFSRecordInfo& info) const;

    // 1 (good) when every cluster of the record's unnamed $DATA (or of the
    // named stream) is free, or it is resident or empty; 2 (poor) when one
    // is in use, an extent is missing or there is no such stream.
    [[nodiscard]] std::uint8_t EstimateNTFSCondition(std::uint64_t n);
    [[nodiscard]] std::uint8_t EstimateNTFSCondition(std::uint64_t n, std::u16string_view stream);
    [[nodiscard]] std::uint8_t EstimateNTFSCondition(std::uint64_t n, std::u16string_view stream,
                                                     TBitmapBlock& block) const;
    [[nodiscard]] std::uint8_t EstimateStreamCondition(const TNTFSStream& stream);
    [[nodiscard]] std::uint8_t EstimateStreamCondition(const TNTFSStream& stream, TBitmapBlock& block) const;
    // The same estimates on record N as already read and fixed up (the span
    // GetDeletedRecordInfo took apart), so that it is not read again: the
    // unnamed $DATA with what GetRecordInfo found out about the record, or a
    // named stream.
    [[nodiscard]] std::uint8_t EstimateRecordCondition(ByteSpan record, std::uint64_t n, const TNTFSRecordInfo& info);
    [[nodiscard]] std::uint8_t EstimateRecordCondition(ByteSpan record, std::uint64_t n, std::u16string_view stream);
    [[nodiscard]] std::uint8_t EstimateRecordCondition(ByteSpan record, std::uint64_t n, const TNTFSRecordInfo& info,
                                                       TBitmapBlock& block) const;
    [[nodiscard]] std::uint8_t EstimateRecordCondition(ByteSpan record, std::uint64_t n, std::u16string_view stream,
                                                       TBitmapBlock& block) const;

    // The $DATA stream `name` (u"" for the contents) of the file whose base
    // record is `record`, number `n`: with an attribute list, every extent
    // it names, in VCN order, each from a record that names `n` as its base.
    // At most as many extents as the list holds entries; a gap, an extent
    // that cannot be read or checked, or a run list that cannot be decoded
    // ends the stream there (ExtentMissing). Nullopt without such a stream.
    [[nodiscard]] std::optional<TNTFSStream> ReadStream(ByteSpan record, std::uint64_t n,
                                                        std::u16string_view name) const;
    // Bytes [offset, offset + out.size()) of the clusters a run list maps
    // (sparse runs as zeros). False when a byte lies past `mappedClusters`
    // or in no run, or a read fails.
    [[nodiscard]] bool ReadRunBytes(const std::vector<ntfs::TDataRun>& runs, std::uint64_t mappedClusters,
                                    std::uint64_t offset, std::span<std::uint8_t> out) const;
    // Compression unit `unit` of a compressed stream, decompressed into
    // `out` (CompressionUnit x ClusterBytes() bytes). A unit whose clusters
    // are all on the disk is stored plainly; one that is all sparse reads as
    // zeros; otherwise its clusters hold LZNT1 data. Unreadable: a cluster
    // read failed or the runs end early; Corrupt: it does not decompress.
    // `out` is zeros for either.
    [[nodiscard]] TUnitResult ReadCompressionUnit(const TNTFSStream& stream, std::uint64_t unit,
                                                  std::span<std::uint8_t> out) const;

private:
    [[nodiscard]] TNTFSOpenResult OpenVolume(platform::VolumePtr volume, const BootSectorBytes* bootSector,
                                             std::uint64_t& recordCount);
    [[nodiscard]] TNTFSOpenResult Setup(const BootSectorBytes* bootSector);
    // Brings block `index` of $Bitmap into `block` unless it is there.
    void LoadBitmapBlock(std::uint64_t index, TBitmapBlock& block) const;
    [[nodiscard]] bool ReadMftBytes(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // ReadStream with the way extent records are read given: the MFT's own
    // extents are read through the runs known so far (`grown` hears of each
    // extent added).
    [[nodiscard]] std::optional<TNTFSStream>
    CollectStream(ByteSpan record, std::uint64_t n, std::u16string_view name,
                  const std::function<bool(std::uint64_t, std::span<std::uint8_t>)>& fetch,
                  const std::function<void(const TNTFSStream&)>& grown) const;
    [[nodiscard]] bool BuildStream(const TNTFSAttribute& first, TNTFSStream& stream) const;
    // GetRecordInfo's part for what lies in other records: the first name
    // (when `name` is given), the unnamed $DATA and named streams (`data`).
    void FromList(ByteSpan record, std::optional<TNTFSFileName>* name, bool data, TNTFSRecordInfo& info) const;
    // The entries of an attribute list (read into `storage` when non-resident).
    [[nodiscard]] bool ReadListEntries(const TNTFSAttribute& list, std::vector<std::uint8_t>& storage,
                                       ByteSpan& entries) const;
    [[nodiscard]] std::optional<TNTFSAttribute> FindInList(const TNTFSAttribute& list, std::uint32_t type,
                                                           std::optional<std::u16string_view> name,
                                                           std::uint32_t index) const;
    // Record N as the file system has it (Windows) or as the disk has it,
    // checked to be N's own record. Used for live records and list targets.
    [[nodiscard]] bool FetchRecord(std::uint64_t n, std::span<std::uint8_t> buffer) const;
    [[nodiscard]] bool FetchFromFileSystem(std::uint64_t n, std::span<std::uint8_t> buffer) const;

    platform::VolumePtr volume_;
    BootSectorBytes boot_{};
    std::uint32_t bytesPerSector_ = 0;
    std::uint32_t sectorsPerCluster_ = 0;
    std::uint32_t recordSize_ = 0;
    std::uint64_t mftCluster_ = 0;
    std::uint64_t clusterCount_ = 0;
    std::uint64_t recordCount_ = 0;
    std::vector<std::uint8_t> mftRecord_;     // record 0, fixed up
    TNTFSStream mftData_;                     // its $DATA with every extent, decoded once
    std::vector<std::uint8_t> mftBitmap_;     // one bit per MFT record
    std::vector<std::uint8_t> bitmapRecord_;  // record 6 ($Bitmap), fixed up
    TNTFSStream bitmapData_;                  // its $DATA

    // The block the calls without a block of their own use. Blocks, not
    // clusters: a 2 MiB cluster of bitmap covers 64 GiB of volume.
    TBitmapBlock bitmapBlock_;

    struct FileSystemHandle;  // Windows: the device handle for the file-record request
    std::unique_ptr<FileSystemHandle> fsHandle_;
};

} // namespace salvage
