#pragma once
// The clusters of a deleted folder after its first one. Its chain is gone;
// the directory walks of the main search and the wizard read on with this
// one rule, so they list the same files.

#include "salvage/disk/MemoryStream.h"
#include "salvage/fs/FATEntryCheck.h"

#include <cstdint>
#include <functional>

namespace salvage {

class TFAT32;

// `data` holds the folder's first cluster (at `first`); the clusters found
// to go on with its entries are appended (its position is kept). `read`
// tells clusters already read as a folder's data (never read again);
// `appended` is told each cluster appended.
void ReadDeletedFolderClusters(TFAT32& fat, const TFatEntryLimits& limits, std::uint32_t first, TMemoryStream& data,
                               const std::function<bool(std::uint32_t)>& read,
                               const std::function<void(std::uint32_t)>& appended);

} // namespace salvage
