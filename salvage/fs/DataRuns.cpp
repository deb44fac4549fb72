#include "salvage/fs/DataRuns.h"

#include "salvage/fs/NTFSLayout.h"

#include <algorithm>
#include <limits>

namespace salvage::ntfs {

TRunDecoder::Step TRunDecoder::Next(TDataRun& run) noexcept
{
    if (final_)
        return *final_;
    auto stop = [this](Step s) {
        final_ = s;
        return s;
    };
    if (pos_ >= runs_.size())
        return stop(Step::Corrupt);  // the list ran out before its end marker
    const std::uint8_t header = runs_[pos_];
    if (header == kRunListEnd)
        return stop(Step::End);
    const unsigned lengthBytes = header & 0x0F;
    const unsigned offsetBytes = header >> 4;
    if (lengthBytes == 0 || lengthBytes > kMaxRunFieldBytes || offsetBytes > kMaxRunFieldBytes)
        return stop(Step::Corrupt);
    const std::size_t fields = pos_ + 1;
    if (!InBounds(runs_.size(), fields, std::size_t{lengthBytes} + offsetBytes))
        return stop(Step::Corrupt);

    const std::uint64_t length = LoadLEVar(runs_, fields, lengthBytes);
    // A length with its top bit set is a negative count on disk.
    if (length == 0 || length > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return stop(Step::Corrupt);
    if (vcn_ > std::numeric_limits<std::uint64_t>::max() - length)
        return stop(Step::Corrupt);

    run = TDataRun{};
    run.Vcn = vcn_;
    run.Length = length;
    if (offsetBytes == 0) {
        run.Sparse = true;  // no offset: the run has no clusters on disk
    } else {
        const std::int64_t delta = LoadLEVarSigned(runs_, fields + lengthBytes, offsetBytes);
        // The LCN is relative to the previous run's; it must stay on the volume.
        if ((delta > 0 && lcn_ > std::numeric_limits<std::int64_t>::max() - delta) || lcn_ + delta < 0)
            return stop(Step::Corrupt);
        lcn_ += delta;
        run.Lcn = static_cast<std::uint64_t>(lcn_);
        if (clusterLimit_ != 0 && (run.Lcn >= clusterLimit_ || length > clusterLimit_ - run.Lcn))
            return stop(Step::Corrupt);
    }
    pos_ = fields + lengthBytes + offsetBytes;
    vcn_ += length;
    return Step::Run;
}

TRunList DecodeDataRuns(ByteSpan runs, std::uint64_t firstVcn, std::uint64_t clusterLimit)
{
    TRunList list;
    TRunDecoder decoder(runs, firstVcn, clusterLimit);
    TDataRun run;
    // Every run takes at least two bytes, so the list's size bounds the loop.
    for (std::size_t n = 0; n <= runs.size(); ++n) {
        const auto step = decoder.Next(run);
        if (step == TRunDecoder::Step::End)
            return list;
        if (step == TRunDecoder::Step::Corrupt)
            break;
        list.Runs.push_back(run);
    }
    list.Corrupt = true;
    return list;
}

namespace {

TVcnMapping Mapping(const TDataRun& run, std::uint64_t vcn) noexcept
{
    const std::uint64_t into = vcn - run.Vcn;
    return {run.Sparse ? 0 : run.Lcn + into, run.Length - into, run.Sparse};
}

} // namespace

std::optional<TVcnMapping> MapVcnInRuns(ByteSpan runs, std::uint64_t firstVcn, std::uint64_t vcn,
                                        std::uint64_t clusterLimit) noexcept
{
    if (vcn < firstVcn)
        return std::nullopt;
    TRunDecoder decoder(runs, firstVcn, clusterLimit);
    TDataRun run;
    for (std::size_t n = 0; n <= runs.size(); ++n) {
        if (decoder.Next(run) != TRunDecoder::Step::Run)
            return std::nullopt;
        if (vcn - run.Vcn < run.Length)
            return Mapping(run, vcn);
    }
    return std::nullopt;
}

std::optional<TVcnMapping> MapVcnInRuns(const std::vector<TDataRun>& runs, std::uint64_t vcn) noexcept
{
    // Runs are in ascending VCN order without gaps or overlaps.
    const auto it = std::upper_bound(runs.begin(), runs.end(), vcn,
                                     [](std::uint64_t v, const TDataRun& r) { return v < r.Vcn; });
    if (it == runs.begin())
        return std::nullopt;
    const TDataRun& run = *(it - 1);
    if (vcn - run.Vcn >= run.Length)
        return std::nullopt;
    return Mapping(run, vcn);
}

} // namespace salvage::ntfs
