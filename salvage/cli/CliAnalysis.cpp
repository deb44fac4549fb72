#include "salvage/cli/CliAnalysis.h"

#include "salvage/cli/CliVolume.h"

#include <atomic>
#include <cstdio>
#include <iostream>

#if defined(_WIN32)
#include <io.h>
#define KESTREL_ISATTY(fd) _isatty(fd)
#define KESTREL_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define KESTREL_ISATTY(fd) isatty(fd)
#define KESTREL_FILENO(f) fileno(f)
#endif

namespace salvage::cli {

std::shared_ptr<TAnalysis> AnalyseVolume(const Arguments& a, TFoundFileModel& model, const TAnalysisOptions& options,
                                         bool progressOnTerminal)
{
    std::string error;
    const auto sel = SelectVolume(a.positional.at(0), a.Value("--partition"), error);
    if (!sel) {
        std::cerr << error << "\n";
        return nullptr;
    }
    if (!sel->Volume) {
        std::cerr << DescribePartitions(sel->Probe) << "Choose a partition with --partition N.\n";
        return nullptr;
    }
    auto analysis = TAnalysis::Open(sel->Disk, sel->Volume, error, &sel->Boot);
    if (!analysis) {
        std::cerr << error << "\n";
        return nullptr;
    }

    const bool showProgress = progressOnTerminal && KESTREL_ISATTY(KESTREL_FILENO(stderr)) != 0;
    std::atomic<int> shown{-1};
    auto progress = [&](int percent) {
        if (showProgress && shown.exchange(percent) != percent)
            std::fprintf(stderr, "\rAnalyzing... %d%%", percent);
    };
    auto failed = [&](const std::string& message) {
        if (showProgress)
            std::fprintf(stderr, "\r%-20s\r", "");
        std::cerr << message << "\n";
    };
    const bool ran = analysis->Run(model, options, progress, error, failed);
    if (showProgress)
        std::fprintf(stderr, "\r%-20s\r", "");
    if (!ran) {
        std::cerr << error << "\n";
        return nullptr;
    }
    return analysis;
}

} // namespace salvage::cli
