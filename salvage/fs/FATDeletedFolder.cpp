#include "salvage/fs/FATDeletedFolder.h"

#include "salvage/fs/FAT.h"

#include <algorithm>
#include <map>

namespace salvage {

using namespace fat;

void ReadDeletedFolderClusters(TFAT32& fat, const TFatEntryLimits& limits, std::uint32_t first, TMemoryStream& data,
                               const std::function<bool(std::uint32_t)>& read,
                               const std::function<void(std::uint32_t)>& appended)
{
    // When a folder's entries filled a cluster (or the next did not fit),
    // its driver took the next free one for more: past clusters in use, and
    // past the data of the files it had just written into the folder (a copy
    // writes a folder's files as it fills the folder). So the next cluster of
    // the folder is the first free one that none of its own entries accounts
    // for; it is read while it reads whole as entries, after a cluster that
    // the entries (nearly) filled, up to the largest folder a FAT volume can
    // hold. Nothing else is skipped: a cluster no entry accounts for that is
    // not the folder's ends it.

    // Free clusters looked past for the rest of a cut long name.
    constexpr std::uint32_t kLookPastClusters = 64;
    const std::uint32_t clusterBytes = fat.ClusterBytes();
    std::map<std::uint32_t, std::uint32_t> accounted;  // first cluster -> one past the last
    auto account = [&](ByteSpan cluster) {
        for (std::size_t off = 0; InBounds(cluster.size(), off, kDirEntrySize); off += kDirEntrySize) {
            TDirEntry e{};
            std::copy_n(cluster.begin() + static_cast<std::ptrdiff_t>(off), kDirEntrySize, e.begin());
            const TFatSlot slot = ClassifyDirEntry(e, limits);
            const std::uint32_t c = EntryFirstCluster(e, fat.FATType);
            if ((slot != TFatSlot::File && slot != TFatSlot::Directory) || c < 2 || e[0] == '.')
                continue;
            const std::uint64_t n =
                slot == TFatSlot::Directory ? 1 : (LoadLE32(e, kEntryFileSize) + clusterBytes - 1) / clusterBytes;
            const std::uint64_t last = std::min<std::uint64_t>(c + std::max<std::uint64_t>(n, 1), fat.ClusterLimit());
            std::uint32_t& end = accounted[c];
            end = std::max(end, static_cast<std::uint32_t>(last));
        }
    };
    auto isAccounted = [&](std::uint32_t c) {
        auto it = accounted.upper_bound(c);
        if (it == accounted.begin())
            return false;
        --it;
        return c < it->second;
    };
    bool goesOn = false;
    if (data.Size() != clusterBytes || !IsDirectoryCluster(data.Bytes(), limits, goesOn) || !goesOn)
        return;
    account(data.Bytes());
    std::uint32_t c = first + 1;
    while (goesOn && data.Size() + clusterBytes <= kMaxDirectoryBytes) {
        // Past clusters in use and the data of the folder's own files.
        std::uint32_t skipped = 0;
        while (c < fat.ClusterLimit() && skipped < kMaxDirectoryBytes / 512 &&
               (fat.GetFATEntry(c) != 0 || isAccounted(c))) {
            ++c;
            ++skipped;
        }
        if (c >= fat.ClusterLimit() || read(c))
            break;
        // A long name cut at the end of the last cluster goes on at the start
        // of the next one, its parts carrying the same checksum. Its file's
        // data may lie before that cluster (written before its entry): then
        // a few free clusters are looked past for the one that goes on.
        const ByteSpan last = data.Bytes().subspan(data.Size() - kDirEntrySize);
        const bool cutName = last[kEntryAttributes] == kAttrLongName;
        TMemoryStream cluster;
        bool found = false;
        for (std::uint32_t tries = 0; tries < (cutName ? kLookPastClusters : 1) && c < fat.ClusterLimit(); ++c) {
            if (fat.GetFATEntry(c) != 0 || isAccounted(c) || read(c))
                continue;
            ++tries;
            bool failed = false;
            cluster = fat.ReadCluster(c, failed);
            const ByteSpan b = cluster.Bytes();
            // Another folder's first cluster starts with its "." entry.
            if (failed || b[0] == '.' || (cutName && (b[kEntryAttributes] != kAttrLongName ||
                                                      b[kLongNameChecksum] != last[kLongNameChecksum])))
                continue;
            found = IsDirectoryCluster(b, limits, goesOn);
            if (found || !cutName)
                break;
        }
        if (!found)
            break;
        appended(c);
        account(cluster.Bytes());
        const std::size_t at = data.Position();
        data.Append(cluster.Bytes());
        data.Seek(at);
        ++c;
    }
}

} // namespace salvage
