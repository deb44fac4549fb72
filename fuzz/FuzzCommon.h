#pragma once
// Helpers shared by the fuzz targets.

#include "salvage/disk/Messages.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace fuzzsupport {

// Messages meant for a message box would flood the fuzzer's output.
inline void QuietMessages()
{
    salvage::SetMessageHook([](const std::string&, salvage::MessageIcon) {});
}

// Run before a failed check ends the process (a target that writes files
// removes them here).
inline void (*&FailCleanup())()
{
    static void (*cleanup)() = nullptr;
    return cleanup;
}

// A broken invariant is reported like a crash, so the fuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    if (FailCleanup() != nullptr)
        FailCleanup()();
    std::abort();
}

// Walks a results tree depth-first, touching every node and record: each
// node must be reached exactly once, and its parent must have been reached
// before it. Returns the number of file records.
inline std::size_t WalkTree(const salvage::TResultsTree& tree)
{
    std::size_t nodes = 0;
    std::size_t files = 0;
    std::size_t text = 0;
    for (const salvage::TTreeNode* node = tree.First(); node != nullptr; node = tree.NextDepthFirst(*node)) {
        if (++nodes > tree.Count())
            Fail("the depth-first walk reaches more nodes than the tree has");
        if (node->Parent() != nullptr && node->Parent()->AbsoluteIndex() >= node->AbsoluteIndex())
            Fail("a node comes before its parent");
        text += node->Text().size();
        for (const salvage::TFileInfo& f : node->Data().Files)
            text += f.Name.size();
        files += node->Data().Files.size();
    }
    if (nodes != tree.Count())
        Fail("the depth-first walk misses nodes");
    (void)text;
    return files;
}

// Opens `volume` as the analysis does and runs the whole search into
// `model`. Null when the volume is refused (which is a valid outcome).
inline std::shared_ptr<salvage::TAnalysis> AnalyseVolume(platform::VolumePtr volume, salvage::TFoundFileModel& model,
                                                         bool estimateCondition)
{
    salvage::TLogicalDisk disk;
    disk.DevicePath = "fuzz-input";
    std::string error;
    auto analysis = salvage::TAnalysis::Open(disk, std::move(volume), error);
    if (!analysis)
        return nullptr;
    salvage::TAnalysisOptions options;
    options.EstimateCondition = estimateCondition;
    if (!analysis->Run(model, options, {}, error))
        return nullptr;
    return analysis;
}

} // namespace fuzzsupport
