// salvage-cli recover VOLUME --to DIR: analyses the volume and writes the
// selected folders and files (by default every top-level folder) into DIR.

#include "salvage/cli/CliAnalysis.h"
#include "salvage/cli/Commands.h"
#include "salvage/cli/Json.h"
#include "salvage/recover/RecoveryJob.h"
#include "salvage/recover/ThreadRecover.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"

#include <cctype>
#include <iostream>
#include <mutex>
#include <optional>

namespace salvage::cli {
namespace {

const char* ReasonText(TSkipReason reason)
{
    switch (reason) {
    case TSkipReason::BrokenName: return "broken name";
    case TSkipReason::RecordReused: return "record reused";
    case TSkipReason::NoData: return "no data";
    }
    return "";
}

// Prints what the recovery does, one line per file (called on its thread).
class PrintingSink final : public TRecoverySink {
public:
    explicit PrintingSink(bool json) : json_(json) {}

    void FatClustersPlaced(const std::string& path, TFatClusterRule rule, bool ambiguous) override
    {
        std::lock_guard lock(mutex_);
        placed_ = Placed{path, rule, ambiguous};
    }
    // A deleted FAT file's line says which rule placed its clusters, and
    // whether the volume allowed others.
    void FileWritten(const std::string& path, std::uint64_t size) override
    {
        std::lock_guard lock(mutex_);
        const bool placed = placed_ && placed_->path == path;
        if (json_) {
            JsonObject o;
            o.Add("event", "file").Add("path", path).Add("size", size);
            if (placed)
                o.Add("clusters", FatClusterRuleName(placed_->rule)).Add("ambiguous", placed_->ambiguous);
            std::cout << o.Str() << "\n";
        } else {
            std::cout << path << "\t" << size;
            if (placed)
                std::cout << "\t" << FatClusterRuleName(placed_->rule) << (placed_->ambiguous ? ", ambiguous" : "");
            std::cout << "\n";
        }
        placed_.reset();
    }
    void FileSkipped(const std::string& name, TSkipReason reason) override
    {
        std::lock_guard lock(mutex_);
        if (json_)
            std::cout << JsonObject().Add("event", "skipped").Add("name", name).Add("reason", ReasonText(reason)).Str()
                      << "\n";
        else
            std::cerr << "skipped " << name << " (" << ReasonText(reason) << ")\n";
    }
    void FileFailed(const TRecoveryFailure& failure) override
    {
        std::lock_guard lock(mutex_);
        if (json_)
            std::cout << JsonObject().Add("event", "failed").Add("path", failure.Path).Add("message", failure.Message).Str()
                      << "\n";
        else
            std::cerr << "failed " << failure.Path << ": " << failure.Message << "\n";
    }

private:
    struct Placed {
        std::string path;
        TFatClusterRule rule;
        bool ambiguous;
    };
    bool json_;
    std::mutex mutex_;
    std::optional<Placed> placed_;
};

struct Totals {
    std::uint64_t files = 0, bytes = 0, skipped = 0, failed = 0, ambiguous = 0;
    bool openFailed = false;
};

void Add(Totals& t, const TRecoverySummary& s)
{
    t.files += s.FilesWritten;
    t.bytes += s.BytesWritten;
    t.skipped += s.Skipped;
    t.failed += s.Failures.size();
    t.ambiguous += s.AmbiguousPlacements;
    t.openFailed = t.openFailed || !s.OpenError.empty();
}

} // namespace

int RunRecover(const std::vector<std::string>& args)
{
    Arguments a;
    if (auto error = ParseArguments(args, {"--all", "--structure", "--skip-broken", "--json"},
                                    {"--to", "--rename-char", "--partition", "--fat-clusters"}, {"--path"}, a)) {
        std::cerr << "salvage-cli recover: " << *error << "\n";
        return kExitUsage;
    }
    const auto target = a.Value("--to");
    if (a.positional.size() != 1 || !target || target->empty()) {
        std::cerr << "usage: salvage-cli recover VOLUME --to DIR [--path P]... [--all] [--structure]\n"
                     "                           [--rename-char C | --skip-broken] [--fat-clusters RULE]\n"
                     "                           [--json] [--partition N]\n";
        return kExitUsage;
    }
    const auto renameChar = a.Value("--rename-char");
    if (renameChar && a.Has("--skip-broken")) {
        std::cerr << "salvage-cli recover: --rename-char and --skip-broken cannot be combined\n";
        return kExitUsage;
    }
    if (renameChar && (renameChar->size() != 1 || !std::isalnum(static_cast<unsigned char>((*renameChar)[0])))) {
        std::cerr << "salvage-cli recover: --rename-char takes one letter or digit, not \"" << *renameChar << "\"\n";
        return kExitUsage;
    }

    const auto rule = ParseFatClusterRule(a.Value("--fat-clusters").value_or("gaps"));
    if (!rule) {
        std::cerr << "salvage-cli recover: --fat-clusters takes \"gaps\" or \"consecutive\", not \""
                  << *a.Value("--fat-clusters") << "\"\n";
        return kExitUsage;
    }

    TFoundFileModel model;
    TAnalysisOptions options;
    options.EstimateCondition = false;  // the recovery does not need it
    const auto analysis = AnalyseVolume(a, model, options, true);
    if (!analysis)
        return kExitFailure;

    // One job per --path (each may restore a different folder structure), or
    // one job for every top-level folder.
    std::vector<TRecoverySelection> selections;
    const auto paths = a.values.find("--path");
    if (paths != a.values.end()) {
        for (const std::string& path : paths->second) {
            const TPathMatch match = FindByPath(model.Tree(), path);
            TRecoverySelection s;
            if (match.Folder != nullptr) {
                s.SelectedFolder = match.Folder;
            } else if (match.FilesFolder != nullptr) {
                s.SelectedFolder = match.FilesFolder;
                s.HasListSelection = true;
                s.ListFiles = match.Files;
            } else {
                std::cerr << "salvage-cli recover: \"" << path << "\" names no folder or file of the results "
                             "(see salvage-cli list)\n";
                return kExitUsage;
            }
            selections.push_back(std::move(s));
        }
    }

    const bool json = a.Has("--json");
    PrintingSink sink(json);
    TFixedBrokenNameAnswer answer(renameChar ? TFixedBrokenNameAnswer::Mode::RenameAll
                                  : a.Has("--skip-broken") ? TFixedBrokenNameAnswer::Mode::SkipAll
                                                           : TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore,
                                  renameChar ? (*renameChar)[0] : '_');
    auto run = [&](TRecoveryJob job, Totals& totals) {
        job.Analysis = analysis;
        job.FatClusters = *rule;
        TThreadRecover thread(std::move(job), sink, answer);
        thread.Start();
        thread.Wait();
        Add(totals, thread.Summary());
    };

    Totals totals;
    if (selections.empty())
        run(WholeTreeJob(model.Tree(), *target, a.Has("--all")), totals);
    for (const TRecoverySelection& s : selections) {
        TRecoveryJob job;
        BuildRecoveryJob(s, *target, a.Has("--all"), a.Has("--structure"), job);
        run(std::move(job), totals);
    }

    if (json)
        std::cout << JsonObject()
                         .Add("event", "summary")
                         .Add("files", totals.files)
                         .Add("bytes", totals.bytes)
                         .Add("skipped", totals.skipped)
                         .Add("failed", totals.failed)
                         .Str()
                  << "\n";
    else
        std::cout << "Recovered " << totals.files << " files, " << totals.bytes << " bytes; " << totals.skipped
                  << " skipped, " << totals.failed << " failed.\n";
    if (totals.ambiguous != 0 && !json)
        std::cerr << totals.ambiguous << " deleted files could lie in other clusters than those recovered "
                     "(marked \"ambiguous\").\n";
    const bool nothing = totals.files == 0 && (totals.openFailed || totals.failed != 0);
    return nothing ? kExitFailure : kExitOk;
}

} // namespace salvage::cli
