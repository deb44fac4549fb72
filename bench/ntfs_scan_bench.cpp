// ntfs_scan_bench VOLUME [SALVAGE_CLI SMALL_VOLUME]: times the NTFS search
// against reading the MFT's bytes once, on a volume image the benchmark
// script builds, also by one, two and three decoding threads; each figure
// is the best of a few runs, every one of them next to a read of the MFT,
// so that all see the same cache. With
// SALVAGE_CLI, `list --json` of the volume too (output counted, not kept),
// and its peak memory against that of the same command on SMALL_VOLUME (an
// almost empty one): the difference per record is what a record costs.

#include "bench/CountedRun.h"
#include "salvage/fs/NTFS.h"
#include "salvage/search/NTFSSearch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

struct Counter : salvage::TSearchSink {
    std::uint64_t dirs = 0, files = 0, deleted = 0, poor = 0;
    void FatDirFound(const salvage::TFileInfo&, salvage::DirToken, salvage::DirToken) override {}
    void FatFileFound(const salvage::TFileInfo&, salvage::DirToken) override {}
    void NtfsDirFound(const salvage::TFileInfo& d) override
    {
        ++dirs;
        deleted += d.Deleted;
    }
    void NtfsFileFound(const salvage::TFileInfo& f) override
    {
        ++files;
        deleted += f.Deleted;
        poor += f.Condition == salvage::kPoor;
    }
    void Progress(int) override {}
    void Failed(const std::string&) override {}
    void Done() override {}
};

double ReadMftOnce(const platform::VolumePtr& volume, std::uint64_t& bytes)
{
    salvage::TNTFS ntfs;
    std::uint64_t records = 0;
    if (!ntfs.OpenNTFSVolume(volume, records).Ok())
        return -1;
    const std::uint64_t perChunk = (1u << 20) / ntfs.RecordSize();
    std::vector<std::uint8_t> chunk(perChunk * ntfs.RecordSize());
    const auto start = Clock::now();
    bytes = 0;
    for (std::uint64_t n = 0; n < records; n += perChunk) {
        const std::uint64_t count = std::min(perChunk, records - n);
        if (ntfs.ReadRawMFTRecords(n, count, chunk))
            bytes += count * ntfs.RecordSize();
    }
    return Seconds(start);
}

double Scan(const platform::VolumePtr& volume, bool estimate, Counter& counter, unsigned threads = 0)
{
    const auto start = Clock::now();
    salvage::TNTFSSearch search(volume, counter, estimate);
    if (threads != 0)
        search.SetDecodeThreads(threads);
    search.Start();
    search.Wait();
    return Seconds(start);
}

using bench::ChildRun;

// `cli list --json volume`, its output counted.
ChildRun ListJson(const std::string& cli, const std::string& volume)
{
    return bench::RunCounted({cli, "list", "--json", volume});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: ntfs_scan_bench VOLUME [SALVAGE_CLI SMALL_VOLUME]\n");
        return 2;
    }
    platform::OpenError error;
    const auto volume = platform::OpenVolumeReadOnly(argv[1], error);
    if (!volume) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.message.c_str());
        return 1;
    }
    std::uint64_t bytes = 0;
    ReadMftOnce(volume, bytes);  // warms the page cache: every figure below is a warm one
    constexpr int kRuns = 5;
    double read = 1e9, scan = 1e9, withCondition = 1e9;
    // The search with the condition estimate by 1, 2 and 3 decoding threads.
    double byThreads[3] = {1e9, 1e9, 1e9};
    Counter plain, assessed;
    ChildRun list{1e9, 0, 0}, small{1e9, 0, 0};
    for (int run = 0; run < kRuns; ++run) {
        read = std::min(read, ReadMftOnce(volume, bytes));
        plain = {};
        scan = std::min(scan, Scan(volume, false, plain));
        assessed = {};
        withCondition = std::min(withCondition, Scan(volume, true, assessed));
        for (unsigned t = 1; t <= 3; ++t) {
            Counter c;
            byThreads[t - 1] = std::min(byThreads[t - 1], Scan(volume, true, c, t));
        }
        if (argc == 4) {
            const ChildRun r = ListJson(argv[2], argv[1]);
            list.seconds = std::min(list.seconds, r.seconds);
            list.peakKiB = std::max(list.peakKiB, r.peakKiB);
            list.lines = r.lines;
            const ChildRun e = ListJson(argv[2], argv[3]);
            small.peakKiB = std::max(small.peakKiB, e.peakKiB);
            small.lines = e.lines;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const std::uint64_t records = bytes / 1024;
    std::printf("MFT: %llu bytes (%llu records of 1 KiB)\n", static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(records));
    std::printf("read the MFT once:            %7.3f s\n", read);
    std::printf("search (no condition):        %7.3f s  %.2fx the read; %llu folders, %llu files, %llu deleted\n",
                scan, read > 0 ? scan / read : 0.0, static_cast<unsigned long long>(plain.dirs),
                static_cast<unsigned long long>(plain.files), static_cast<unsigned long long>(plain.deleted));
    std::printf("search (condition estimated): %7.3f s  %.2fx the read; %llu poor\n", withCondition,
                read > 0 ? withCondition / read : 0.0, static_cast<unsigned long long>(assessed.poor));
    for (unsigned t = 1; t <= 3; ++t)
        std::printf("  by %u decoding thread%s:        %7.3f s  %.2fx the read\n", t, t == 1 ? " " : "s",
                    byThreads[t - 1], read > 0 ? byThreads[t - 1] / read : 0.0);
    if (argc == 4) {
        std::printf("salvage-cli list --json:      %7.3f s  %.2fx the read; %zu lines\n", list.seconds,
                    read > 0 ? list.seconds / read : 0.0, list.lines);
        std::printf("its peak memory:              %ld KiB (%ld KiB on %s, %zu lines): %.0f bytes per record\n",
                    list.peakKiB, small.peakKiB, argv[3], small.lines,
                    records > 0 ? static_cast<double>(list.peakKiB - small.peakKiB) * 1024.0 / static_cast<double>(records)
                                : 0.0);
    }
    std::printf("peak resident memory of this process: %ld KiB\n", usage.ru_maxrss);
    return 0;
}
