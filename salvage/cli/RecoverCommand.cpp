// salvage-cli recover VOLUME --to DIR: analyses the volume and writes the
// selected folders and files (by default every top-level folder) into DIR.

#include "salvage/cli/CliAnalysis.h"
#include "salvage/cli/Commands.h"
#include "salvage/cli/Json.h"
#include "platform/StorageDevices.h"
#include "salvage/recover/RecoveryJob.h"
#include "salvage/recover/TargetPlacement.h"
#include "salvage/recover/ThreadRecover.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"

#include <cctype>
#include <cstring>
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

// Prints what the recovery does, one line per file (called on its thread):
// the files on disk go to stdout, problems to stderr.
class PrintingSink final : public TRecoverySink {
public:
    explicit PrintingSink(bool json) : json_(json) {}

    void FatClustersPlaced(const std::string& path, TFatClusterRule rule, bool ambiguous) override
    {
        std::lock_guard lock(mutex_);
        placed_ = Placed{path, rule, ambiguous};
    }
    // A deleted FAT file's line also says which rule placed its clusters,
    // and whether the volume allowed others.
    void FileWritten(const TRecoveredFile& file) override
    {
        std::lock_guard lock(mutex_);
        const bool placed = placed_ && placed_->path == file.Path;
        if (json_) {
            JsonObject o;
            o.Add("event", "file").Add("path", file.Path).Add("size", file.Size);
            o.Add("name", file.Name).Add("found_name", file.FoundName);
            o.Add("renamed", file.Renamed).Add("partial", file.Partial);
            if (file.Partial)
                o.Add("message", file.Message);
            if (placed)
                o.Add("clusters", FatClusterRuleName(placed_->rule)).Add("ambiguous", placed_->ambiguous);
            std::cout << o.Str() << "\n";
        } else {
            std::cout << file.Path << "\t" << file.Size;
            if (placed)
                std::cout << "\t" << FatClusterRuleName(placed_->rule) << (placed_->ambiguous ? ", ambiguous" : "");
            if (file.Renamed)
                std::cout << "\trenamed (name taken), found as " << file.FoundName;
            std::cout << "\n";
            if (file.Partial)
                std::cerr << "partial " << file.Path << ": " << file.Message << "\n";
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
            std::cout << JsonObject()
                             .Add("event", "failed")
                             .Add("path", failure.Path)
                             .Add("found_name", failure.FoundName)
                             .Add("message", failure.Message)
                             .Str()
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
    std::uint64_t whole = 0, partial = 0, renamed = 0, bytes = 0, skipped = 0, failed = 0, ambiguous = 0;
    bool openFailed = false;
};

void Add(Totals& t, const TRecoverySummary& s)
{
    t.whole += s.FilesWritten;
    t.partial += s.FilesPartial;
    t.renamed += s.FilesRenamed;
    t.bytes += s.BytesWritten;
    t.skipped += s.Skipped;
    t.failed += s.Failures.size();
    t.ambiguous += s.AmbiguousPlacements;
    t.openFailed = t.openFailed || !s.OpenError.empty();
}

// "Recovered 3 files (1 under another name, 1 only in part), 5000 bytes; 0 skipped, 0 failed."
std::string SummaryLine(const Totals& t)
{
    std::string line = "Recovered " + std::to_string(t.whole + t.partial) + " files";
    std::string notes;
    if (t.renamed != 0)
        notes = std::to_string(t.renamed) + " under another name";
    if (t.partial != 0)
        notes += (notes.empty() ? "" : ", ") + std::to_string(t.partial) + " only in part";
    if (!notes.empty())
        line += " (" + notes + ")";
    return line + ", " + std::to_string(t.bytes) + " bytes; " + std::to_string(t.skipped) + " skipped, " +
           std::to_string(t.failed) + " failed.";
}

// A broken name's first letter can become any character a file name takes
// on every system, but a dot (the name would be hidden) or a blank.
bool UsableRenameChar(const std::string& text)
{
    if (text.size() != 1)
        return false;
    const auto c = static_cast<unsigned char>(text[0]);
    return std::isalnum(c) || std::strchr("_-$#~!&+=@%^()[]{}", c) != nullptr;
}

} // namespace

int RunRecover(const std::vector<std::string>& args)
{
    Arguments a;
    if (auto error = ParseArguments(args, {"--all", "--structure", "--skip-broken", "--json", "--allow-same-disk"},
                                    {"--to", "--rename-char", "--partition", "--fat-clusters"}, {"--path"}, a)) {
        std::cerr << "salvage-cli recover: " << *error << "\n";
        return kExitUsage;
    }
    const auto target = a.Value("--to");
    if (a.positional.size() != 1 || !target || target->empty()) {
        std::cerr << "usage: salvage-cli recover VOLUME --to DIR [--path P]... [--all] [--structure]\n"
                     "                           [--rename-char C | --skip-broken] [--fat-clusters RULE]\n"
                     "                           [--json] [--partition N] [--allow-same-disk]\n";
        return kExitUsage;
    }
    const auto renameChar = a.Value("--rename-char");
    if (renameChar && a.Has("--skip-broken")) {
        std::cerr << "salvage-cli recover: --rename-char and --skip-broken cannot be combined\n";
        return kExitUsage;
    }
    if (renameChar && !UsableRenameChar(*renameChar)) {
        std::cerr << "salvage-cli recover: --rename-char takes one letter, digit or one of _-$#~!&+=@%^()[]{}, not \""
                  << *renameChar << "\"\n";
        return kExitUsage;
    }
    // Before the analysis: a refused target costs no time.
    if (!a.Has("--allow-same-disk")) {
        const auto queries = platform::SystemStorageQueries();
        const TTargetCheck check = CheckTargetPlacement(a.positional[0], *target, *queries);
        if (check.Dangerous()) {
            std::cerr << "salvage-cli recover: " << TargetPlacementWarning(check, *target)
                      << " Choose a folder on another disk, or give --allow-same-disk to write there anyway.\n";
            return kExitUsage;
        }
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
    int exitCode = kExitOk;
    const auto analysis = AnalyseVolume(a, model, options, true, exitCode);
    if (!analysis)
        return exitCode;

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
    // "_" is the default replacement: the answer that puts it in place of the lost letter.
    const bool underscore = !renameChar || *renameChar == "_";
    TFixedBrokenNameAnswer answer(a.Has("--skip-broken") ? TFixedBrokenNameAnswer::Mode::SkipAll
                                  : underscore             ? TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore
                                                           : TFixedBrokenNameAnswer::Mode::RenameAll,
                                  renameChar ? (*renameChar)[0] : '_');
    auto run = [&](TRecoveryJob job, Totals& totals) {
        job.Analysis = analysis;
        job.FatClusters = *rule;
        TThreadRecover thread(std::move(job), sink, answer);
        thread.Start();
        thread.Wait();
        Add(totals, thread.Summary());
        for (const std::string& notice : RecoveryNotices(thread.Summary()))
            std::cerr << notice << "\n";
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
                         .Add("files", totals.whole + totals.partial)
                         .Add("bytes", totals.bytes)
                         .Add("skipped", totals.skipped)
                         .Add("failed", totals.failed)
                         .Add("partial", totals.partial)
                         .Add("renamed", totals.renamed)
                         .Str()
                  << "\n";
    else
        std::cout << SummaryLine(totals) << "\n";
    if (totals.ambiguous != 0 && !json)
        std::cerr << totals.ambiguous << " deleted files could lie in other clusters than those recovered "
                     "(marked \"ambiguous\").\n";
    const bool nothing = totals.whole == 0 && (totals.openFailed || totals.failed != 0 || totals.partial != 0);
    return nothing ? kExitFailure : kExitOk;
}

} // namespace salvage::cli
