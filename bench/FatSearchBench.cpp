// fat_search_bench: how fast and how lean the FAT analysis is on a big volume.
//
// Builds (once, then reuses) a FAT32 image with mkfs.fat and mtools: TOPS
// folders of SUBS subfolders of FILES files each (by default 60 x 50 x 34 =
// 102,000 files in 3,060 folders, long names, 0 to 2,000 bytes each), then
// deletes every tenth file with mdel and a few whole subfolders with mdeltree.
// Then it measures, each the best of a few runs on a warm cache:
//   - reading every directory cluster once (the I/O any search must do), a
//     run of consecutive clusters at a read, as the search reads them,
//   - the search with its condition estimate into a sink that keeps nothing
//     (as the NTFS benchmark times its search), and into a tree on the
//     search's own thread,
//   - the analysis in this process as the windows run it (search on its
//     thread, reports handed to this one in batches, model, conditions,
//     filtered tree),
//   - `salvage-cli list --json IMAGE` as a process (everything, output
//     included), with its peak memory, and the peak memory of the same
//     command on an empty volume; the difference per entry found is the
//     memory an entry costs,
//   - with --baseline CLI, the same command of another build (say, of the
//     main branch) in the same runs, turn about, so both see the same cache.
// It also counts the deleted files the analysis finds: every file deleted
// while the image was made must be found, those in deleted folders included
// (their folders take several clusters each).
//
// With --in-process-only, only the in-process figures (for a profiler).
//
// usage: fat_search_bench [--tops N] [--subs N] [--files N] [--work DIR] [--runs N] [--baseline CLI]
//                         [--in-process-only]

#include "bench/CountedRun.h"
#include "platform/Volume.h"
#include "salvage/disk/Bytes.h"
#include "salvage/fs/FAT.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FAT32Search.h"
#include "salvage/search/ModelSink.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <unordered_set>
#include <vector>

namespace fs = std::filesystem;
using namespace salvage;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int tops = 60;
    int subs = 50;
    int files = 34;
    int runs = 3;
    std::string work = KESTREL_BENCH_WORK_DIR;
    std::string baseline;
    bool inProcessOnly = false;
};

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void Run(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::cerr << "failed: " << command << "\n";
        std::exit(1);
    }
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Files deleted while the image is made: every tenth file, and every file of
// the subfolders deleted whole (some of which were among the tenth already).
std::size_t DeletedFiles(const Options& o)
{
    std::size_t deleted = 0;
    std::size_t n = 0;
    for (int t = 0; t < o.tops; ++t)
        for (int s = 0; s < o.subs; ++s)
            for (int f = 0; f < o.files; ++f, ++n)
                deleted += n % 10 == 9 || (t < std::min(o.tops, 20) && s == o.subs - 1);
    return deleted;
}

// The image, made by real tools; a stamp file records the shape it was made for.
std::string BuildImage(const Options& o, std::size_t& deletedFiles)
{
    fs::create_directories(o.work);
    const std::string shape = std::to_string(o.tops) + "x" + std::to_string(o.subs) + "x" + std::to_string(o.files);
    const std::string image = o.work + "/fat32-" + shape + ".img";
    const std::string stamp = image + ".deleted";
    if (fs::exists(image) && fs::exists(stamp)) {
        deletedFiles = DeletedFiles(o);
        return image;
    }
    std::cout << "building " << image << " (once; this takes a minute)\n" << std::flush;
    const std::string tree = o.work + "/tree";
    fs::remove_all(tree);
    std::uint32_t seed = 12345;
    std::vector<char> bytes(2000);
    std::ofstream list(o.work + "/delete.list", std::ios::binary);
    std::size_t n = 0;
    for (int t = 0; t < o.tops; ++t) {
        for (int s = 0; s < o.subs; ++s) {
            char dir[64];
            std::snprintf(dir, sizeof dir, "Folder %02d/Subfolder %02d", t, s);
            fs::create_directories(tree + "/" + dir);
            for (int f = 0; f < o.files; ++f, ++n) {
                char name[64];
                std::snprintf(name, sizeof name, "file number %03d of this folder.dat", f);
                seed = seed * 1664525u + 1013904223u;
                const std::size_t size = seed % 2001;
                for (std::size_t i = 0; i < size; ++i)
                    bytes[i] = static_cast<char>((seed >> 8) + i * 7);
                std::ofstream(tree + "/" + dir + "/" + name, std::ios::binary).write(bytes.data(),
                                                                                    static_cast<std::streamsize>(size));
                if (n % 10 == 9)
                    list << "::/" << dir << "/" << name << '\0';
            }
        }
    }
    list.close();
    const std::uint64_t kib = 64ull * 1024 + static_cast<std::uint64_t>(n) * 3;  // 1 KiB clusters
    fs::remove(image);
    Run("PATH=\"$PATH:/usr/sbin:/sbin\" mkfs.fat -C -F 32 -s 2 -n BENCH " + Quote(image) + " " +
        std::to_string(kib) + " >/dev/null");
    Run("cd " + Quote(tree) + " && MTOOLS_SKIP_CHECK=1 mcopy -s -i " + Quote(image) + " ./* ::/");
    Run("MTOOLS_SKIP_CHECK=1 xargs -0 -n 400 mdel -i " + Quote(image) + " < " + Quote(o.work + "/delete.list"));
    // A few whole subfolders too: their files count as deleted with them.
    for (int t = 0; t < std::min(o.tops, 20); ++t) {
        char dir[64];
        std::snprintf(dir, sizeof dir, "::/Folder %02d/Subfolder %02d", t, o.subs - 1);
        Run("MTOOLS_SKIP_CHECK=1 mdeltree -i " + Quote(image) + " " + Quote(dir));
    }
    deletedFiles = DeletedFiles(o);
    fs::remove_all(tree);
    std::ofstream(stamp) << deletedFiles << "\n";
    return image;
}

// Reads each directory's clusters once, following live chains and the first
// cluster of deleted directories: the I/O floor of any directory walk.
std::size_t ReadDirectoriesOnce(const std::string& image, std::size_t& bytesRead)
{
    platform::OpenError error;
    TFAT32 fat(platform::OpenVolumeReadOnly(image, error));
    std::vector<std::uint32_t> pending{fat.RootCluster()};
    std::unordered_set<std::uint32_t> seen{fat.RootCluster()};
    std::size_t directories = 0;
    bytesRead = 0;
    while (!pending.empty()) {
        const std::uint32_t cluster = pending.back();
        pending.pop_back();
        const TMemoryStream data = fat.ReadChain(cluster);
        bytesRead += data.Size();
        ++directories;
        const ByteSpan b = data.Bytes();
        for (std::size_t off = 0; off + 32 <= b.size(); off += 32) {
            if (b[off] == 0 || b[off] == '.' || b[off + 11] == fat::kAttrLongName ||
                (b[off + 11] & fat::kAttrDirectory) == 0)
                continue;
            TDirEntry e{};
            std::copy(b.begin() + static_cast<std::ptrdiff_t>(off), b.begin() + static_cast<std::ptrdiff_t>(off + 32),
                      e.begin());
            const std::uint32_t c = EntryFirstCluster(e);
            if (c >= 2 && seen.insert(c).second)
                pending.push_back(c);
        }
    }
    return directories;
}

// Takes every report and keeps none: the search's own cost.
class TDiscardingSink final : public TSearchSink {
public:
    void FatDirFound(const TFileInfo&, DirToken, DirToken) override { ++reports; }
    void FatFileFound(const TFileInfo&, DirToken) override { ++reports; }
    void FatFileNamed(const TFileInfo&, std::string_view, DirToken) override { ++reports; }
    void NtfsDirFound(const TFileInfo&) override {}
    void NtfsFileFound(const TFileInfo&) override {}
    void Progress(int) override {}
    void Failed(const std::string&) override {}
    void Done() override {}
    std::size_t reports = 0;
};

// The search on its own thread, with the condition estimate, as the NTFS
// figure is taken: into a sink that keeps nothing, and every deleted
// entry's condition from the map the search built (what the analysis then
// writes into the tree). Or into a tree built on the search's own thread.
double TimeSearchAlone(const std::string& image, bool intoTree, std::size_t& poor)
{
    platform::OpenError error;
    TFAT32 fat(platform::OpenVolumeReadOnly(image, error));
    TDiscardingSink discard;
    TFoundFileModel model;
    TModelSink build(model);
    TSearchSink& sink = intoTree ? static_cast<TSearchSink&>(build) : discard;
    TFAT32Search search(fat, sink, true);
    const auto t = Clock::now();
    search.Start();
    search.Wait();
    poor = 0;
    if (const TFatDeletedMap* map = fat.DeletedMap())
        for (std::uint32_t i = 0; i < map->Count(); ++i)
            poor += map->Condition(i, TFatClusterRule::FreeGaps, fat) == kConditionPoor;
    return Seconds(Clock::now() - t);
}

using bench::ChildRun;

} // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--in-process-only") {
            o.inProcessOnly = true;
            continue;
        }
        if (i + 1 >= argc)
            break;
        const char* value = argv[++i];
        if (a == "--tops")
            o.tops = std::atoi(value);
        else if (a == "--subs")
            o.subs = std::atoi(value);
        else if (a == "--files")
            o.files = std::atoi(value);
        else if (a == "--runs")
            o.runs = std::max(1, std::atoi(value));
        else if (a == "--work")
            o.work = value;
        else if (a == "--baseline")
            o.baseline = value;
    }
    std::size_t deleted = 0;
    const std::string image = BuildImage(o, deleted);
    const std::string empty = o.work + "/fat32-empty.img";
    if (!fs::exists(empty))
        Run("PATH=\"$PATH:/usr/sbin:/sbin\" mkfs.fat -C -F 32 -s 2 " + Quote(empty) + " 70000 >/dev/null");

    double readBest = 1e9, analysisBest = 1e9, aloneBest = 1e9, treeBest = 1e9;
    std::size_t directories = 0, bytes = 0, entries = 0, deletedFound = 0, poorFound = 0;
    for (int run = 0; run < o.runs; ++run) {
        auto t = Clock::now();
        directories = ReadDirectoriesOnce(image, bytes);
        readBest = std::min(readBest, Seconds(Clock::now() - t));

        std::string error;
        TLogicalDisk disk;
        disk.DevicePath = image;
        auto analysis = TAnalysis::Open(disk, error);
        if (!analysis) {
            std::cerr << error << "\n";
            return 1;
        }
        aloneBest = std::min(aloneBest, TimeSearchAlone(image, false, poorFound));
        treeBest = std::min(treeBest, TimeSearchAlone(image, true, poorFound));
        TFoundFileModel model;
        t = Clock::now();
        analysis->Run(model, {}, {}, error);
        analysisBest = std::min(analysisBest, Seconds(Clock::now() - t));
        entries = 0;
        deletedFound = 0;
        for (const TTreeNode* n = model.Tree().First(); n; n = model.Tree().NextDepthFirst(*n)) {
            entries += 1 + n->Data().Files.size();
            for (const TFileInfo& f : n->Data().Files)
                deletedFound += f.Deleted;
        }
    }
    std::printf("image                      %s\n", image.c_str());
    std::printf("found                      %zu folders and files (%zu files deleted)\n", entries, deleted);
    std::printf("directories read           %zu (%.1f MiB of directory clusters)\n", directories,
                static_cast<double>(bytes) / (1 << 20));
    std::printf("read directory clusters    %.4f s\n", readBest);
    std::printf("analysis in process        %.4f s  (%.2fx the read)\n", analysisBest, analysisBest / readBest);
    std::printf("  the search alone         %.4f s  (%.2fx; with the estimate, reports kept nowhere; %zu poor)\n",
                aloneBest, aloneBest / readBest, poorFound);
    std::printf("  the search into a tree   %.4f s  (%.2fx; on the search's thread)\n", treeBest, treeBest / readBest);
    std::printf("deleted files found        %zu of %zu deleted\n", deletedFound, deleted);
    if (o.inProcessOnly)
        return 0;

    ChildRun list{1e9, 0, 0};
    ChildRun base{1e9, 0, 0};
    for (int run = 0; run < o.runs; ++run) {
        if (!o.baseline.empty()) {
            const ChildRun b = bench::RunCounted({o.baseline, "list", "--json", image});
            if (b.seconds < base.seconds)
                base = b;
        }
        const ChildRun r = bench::RunCounted({KESTREL_SALVAGE_CLI, "list", "--json", image});
        if (r.seconds < list.seconds)
            list = r;
        list.peakKiB = std::max(list.peakKiB, r.peakKiB);
    }
    const ChildRun idle = bench::RunCounted({KESTREL_SALVAGE_CLI, "list", "--json", empty});
    const double perEntry = static_cast<double>(list.peakKiB - idle.peakKiB) * 1024.0 / static_cast<double>(list.lines);
    std::printf("salvage-cli list --json    %.3f s  (%.2fx the read; %zu entries)\n", list.seconds,
                list.seconds / readBest, list.lines);
    if (!o.baseline.empty())
        std::printf("baseline list --json       %.3f s  (%zu lines)\n", base.seconds, base.lines);
    std::printf("peak memory                %ld KiB (empty volume: %ld KiB)\n", list.peakKiB, idle.peakKiB);
    std::printf("memory per entry found     %.0f bytes\n", perEntry);
    return 0;
}
