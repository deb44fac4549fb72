// ntfs_scan_bench VOLUME: times the NTFS search against reading the MFT's
// bytes once, on a volume image the benchmark script builds.

#include "salvage/fs/NTFS.h"
#include "salvage/search/NTFSSearch.h"

#include <chrono>
#include <cstdio>
#include <sys/resource.h>
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

double Scan(const platform::VolumePtr& volume, bool estimate, Counter& counter)
{
    const auto start = Clock::now();
    salvage::TNTFSSearch search(volume, counter, estimate);
    search.Start();
    search.Wait();
    return Seconds(start);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ntfs_scan_bench VOLUME\n");
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
    const double read = ReadMftOnce(volume, bytes);
    Counter plain, assessed;
    const double scan = Scan(volume, false, plain);
    const double withCondition = Scan(volume, true, assessed);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const std::uint64_t records = bytes / 1024;
    std::printf("MFT: %llu bytes (%llu records of 1 KiB)\n", static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(records));
    std::printf("read the MFT once:            %7.3f s\n", read);
    std::printf("search (no condition):        %7.3f s  %.2fx the read; %llu folders, %llu files, %llu deleted\n",
                scan, read > 0 ? scan / read : 0.0, static_cast<unsigned long long>(plain.dirs),
                static_cast<unsigned long long>(plain.files), static_cast<unsigned long long>(plain.deleted));
    std::printf("search (condition estimated): %7.3f s  %llu poor\n", withCondition,
                static_cast<unsigned long long>(assessed.poor));
    std::printf("peak resident memory of this process: %ld KiB\n", usage.ru_maxrss);
    return 0;
}
