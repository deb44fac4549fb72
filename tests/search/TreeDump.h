#pragma once
// Test helpers: a results tree written out as text, one line per folder and
// file, so that two trees (or a tree and an expectation) compare as strings.

#include "salvage/search/FoundFileModel.h"
#include "salvage/search/SearchSink.h"

#include <string>
#include <vector>

namespace searchtest {

struct DumpOptions {
    bool files = true;
    bool records = false;  // refs, sizes, dates and conditions too
};

// "path [image]" per folder and "path (deleted)" per file, depth-first.
[[nodiscard]] std::string DumpTree(const salvage::TResultsTree& tree, DumpOptions options = {});

// The path of a folder node: node texts joined by "/".
[[nodiscard]] std::string NodePath(const salvage::TTreeNode& node);

// Runs a FAT search over the volume to its end, straight into a model.
struct SearchRun {
    bool done = false;
    std::vector<int> progress;
};
SearchRun RunFatSearch(const std::string& imagePath, salvage::TFoundFileModel& model, bool estimate = true);

} // namespace searchtest
