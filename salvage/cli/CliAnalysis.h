#pragma once
// The analysis step shared by the verbs that need the results: pick the
// volume (VOLUME and --partition), analyse it to the end.

#include "salvage/cli/Commands.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"

#include <memory>

namespace salvage::cli {

// Analyses the volume the arguments name into `model`. A percentage goes to
// stderr while it runs when `progressOnTerminal` is set and stderr is a
// terminal. On failure the reason has been printed to stderr and the result is null.
[[nodiscard]] std::shared_ptr<TAnalysis> AnalyseVolume(const Arguments& arguments, TFoundFileModel& model,
                                                       const TAnalysisOptions& options, bool progressOnTerminal);

} // namespace salvage::cli
