#pragma once
// Decoding of NTFS data runs (the mapping pairs of a non-resident attribute).
// Run lists come from untrusted records: every field is checked, and the
// decoder stops at the first run it cannot trust.

#include "salvage/disk/Bytes.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace salvage::ntfs {

struct TDataRun {
    std::uint64_t Vcn = 0;     // first virtual cluster of the run
    std::uint64_t Length = 0;  // clusters, never 0
    std::uint64_t Lcn = 0;     // first logical cluster; 0 for a sparse run
    bool Sparse = false;       // no clusters on disk: reads as zeros
};

// Walks a run list one run at a time.
class TRunDecoder {
public:
    enum class Step { Run, End, Corrupt };

    // `runs` is the run list (it may extend to the attribute's end);
    // `firstVcn` the attribute's lowest VCN; `clusterLimit` the number of
    // clusters on the volume (0: no check) so that runs outside it count as
    // corrupt.
    TRunDecoder(ByteSpan runs, std::uint64_t firstVcn, std::uint64_t clusterLimit) noexcept
        : runs_(runs), vcn_(firstVcn), clusterLimit_(clusterLimit)
    {
    }

    // The next run, End at the 0 header, Corrupt at a header nibble above
    // 8, a zero-width or zero length field, fields running past the list,
    // an LCN outside the volume or an overflowing VCN. After End or Corrupt
    // every further call gives the same answer.
    [[nodiscard]] Step Next(TDataRun& run) noexcept;

private:
    ByteSpan runs_;
    std::size_t pos_ = 0;
    std::uint64_t vcn_;
    std::int64_t lcn_ = 0;
    std::uint64_t clusterLimit_;
    std::optional<Step> final_;
};

struct TRunList {
    std::vector<TDataRun> Runs;
    bool Corrupt = false;  // decoding stopped early; Runs holds what came before
};

[[nodiscard]] TRunList DecodeDataRuns(ByteSpan runs, std::uint64_t firstVcn, std::uint64_t clusterLimit);

// Where `vcn` lies: the run covering it, or nullopt when no run (of the
// readable part of the list) does.
struct TVcnMapping {
    std::uint64_t Lcn = 0;           // 0 for a sparse run
    std::uint64_t RunRemaining = 0;  // clusters from vcn to the run's end
    bool Sparse = false;
};
[[nodiscard]] std::optional<TVcnMapping> MapVcnInRuns(ByteSpan runs, std::uint64_t firstVcn, std::uint64_t vcn,
                                                      std::uint64_t clusterLimit) noexcept;
[[nodiscard]] std::optional<TVcnMapping> MapVcnInRuns(const std::vector<TDataRun>& runs, std::uint64_t vcn) noexcept;

} // namespace salvage::ntfs
