#pragma once
// Analyses a test volume and runs recovery jobs on its results.

#include "salvage/recover/RecoveryJob.h"
#include "salvage/recover/ThreadRecover.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace recovertest {

struct AnalysedVolume {
    std::shared_ptr<salvage::TAnalysis> analysis;
    salvage::TFoundFileModel model;
};

// Opens and analyses an image; fails the test when that does not work.
inline std::unique_ptr<AnalysedVolume> Analyse(const std::string& image)
{
    auto v = std::make_unique<AnalysedVolume>();
    salvage::TLogicalDisk disk;
    disk.DevicePath = image;
    std::string error;
    v->analysis = salvage::TAnalysis::Open(disk, error);
    EXPECT_TRUE(v->analysis) << error;
    if (!v->analysis)
        return nullptr;
    salvage::TAnalysisOptions options;
    options.EstimateCondition = false;
    EXPECT_TRUE(v->analysis->Run(v->model, options, {}, error)) << error;
    return v;
}

// Records what a job reports.
class RecordingSink : public salvage::TRecoverySink {
public:
    void FileWritten(const salvage::TRecoveredFile& file) override
    {
        std::lock_guard lock(mutex);
        written[file.Path] = file.Size;
        files.push_back(file);
    }
    void FileSkipped(const std::string& name, salvage::TSkipReason) override
    {
        std::lock_guard lock(mutex);
        skipped.push_back(name);
    }
    void FileFailed(const salvage::TRecoveryFailure& f) override
    {
        std::lock_guard lock(mutex);
        failed.push_back(f);
    }
    void FatClustersPlaced(const std::string& path, salvage::TFatClusterRule rule, bool ambiguous) override
    {
        std::lock_guard lock(mutex);
        placed[path] = std::string(salvage::FatClusterRuleName(rule)) + (ambiguous ? " ambiguous" : "");
    }
    void Done(const salvage::TRecoverySummary&) override { ++done; }

    std::mutex mutex;
    std::map<std::string, std::string> placed;  // path -> "gaps" / "consecutive ambiguous"
    std::map<std::string, std::uint64_t> written;
    std::vector<salvage::TRecoveredFile> files;
    std::vector<std::string> skipped;
    std::vector<salvage::TRecoveryFailure> failed;
    std::atomic<int> done{0};
};

// Every top-level folder of the results, the way salvage-cli recover does
// without --path.
inline salvage::TRecoveryJob AllTopLevelJob(const AnalysedVolume& v, const std::string& target, bool recoverAll)
{
    return salvage::WholeTreeJob(v.model.Tree(), target, recoverAll);
}

// Fills in the volume's part of a job and runs it to its end.
inline salvage::TRecoverySummary RunJob(AnalysedVolume& v, salvage::TRecoveryJob job, salvage::TRecoverySink& sink,
                                        salvage::TBrokenNameQuestion& question)
{
    job.Analysis = v.analysis;
    salvage::TThreadRecover thread(std::move(job), sink, question);
    thread.Start();
    thread.Wait();
    return thread.Summary();
}

} // namespace recovertest
