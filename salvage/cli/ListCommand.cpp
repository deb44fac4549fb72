// salvage-cli list VOLUME: analyses the volume and prints the results tree,
// every folder and file with its path from the top-level node.

#include "salvage/cli/CliAnalysis.h"
#include "salvage/cli/Commands.h"
#include "salvage/cli/Json.h"
#include "salvage/fs/DateTime.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>


namespace salvage::cli {
namespace {

// Output is collected and written in large pieces: a big volume lists
// millions of lines.
class Output {
public:
    ~Output() { Flush(); }
    void Line(const std::string& text)
    {
        buffer_ += text;
        buffer_ += '\n';
        if (buffer_.size() >= (1u << 16))
            Flush();
    }
    void Flush()
    {
        if (!buffer_.empty())
            std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
        buffer_.clear();
    }

private:
    std::string buffer_;
};

const char* ConditionText(std::uint8_t condition)
{
    switch (condition) {
    case kGood: return "Good";
    case kPoor: return "Bad";
    default: return "";
    }
}

void AddDate(JsonObject& o, std::string_view key, TDateTime date)
{
    if (date == 0)
        o.AddNull(key);
    else
        o.Add(key, FormatIsoDateTime(date));
}

std::string JsonDir(const std::string& path, const TTreeNode& node)
{
    const TDirNode& d = node.Data();
    JsonObject o;
    o.Add("path", path).Add("name", node.Text()).Add("type", "dir").Add("deleted", d.Deleted);
    o.AddNull("size").Add("condition", "").Add("ref", static_cast<std::uint64_t>(d.DirRef));
    AddDate(o, "modified", d.Modified);
    AddDate(o, "created", d.Created);
    return o.Str();
}

std::string JsonFile(const std::string& path, const TFileInfo& f)
{
    JsonObject o;
    o.Add("path", path).Add("name", f.Name).Add("type", "file").Add("deleted", f.Deleted);
    o.Add("size", f.Size).Add("condition", ConditionText(f.Condition)).Add("ref", static_cast<std::uint64_t>(f.FileRef));
    AddDate(o, "modified", f.Modified);
    AddDate(o, "created", f.Created);
    if (f.StreamAt == 0)
        o.AddNull("stream");
    else
        o.Add("stream", StreamName(f));
    o.Add("encrypted", f.Encrypted).Add("compressed", f.Compressed);
    return o.Str();
}

std::string TextLine(bool directory, bool deleted, const std::string& size, const char* condition,
                     std::uint32_t ref, const std::string& path, const char* note = "")
{
    char head[96];
    std::snprintf(head, sizeof head, "%-4s  %-7s  %12s  %-4s  %10u  ", directory ? "dir" : "file",
                  deleted ? "deleted" : "live", size.c_str(), *condition ? condition : "-", ref);
    return head + path + note;
}

// What the text listing says after a file's path.
const char* FileNote(const TFileInfo& f)
{
    if (f.Encrypted)
        return "  (encrypted: recovered as stored, unreadable without the owner's key)";
    if (f.Compressed)
        return "  (compressed)";
    return "";
}

// Depth-first: a folder, its files, then its subfolders.
void PrintTree(const TResultsTree& tree, bool json, Output& out)
{
    if (!json)
        out.Line("Type  State            Size  Cond         Ref  Path");
    struct Frame {
        const TTreeNode* next;     // the next child to print
        std::size_t pathLength;    // length of the folder's path
    };
    std::string path;
    std::vector<Frame> stack;
    auto printFolder = [&](const TTreeNode& node) {
        const std::size_t parentLength = path.size();
        if (!path.empty())
            path += '/';
        path += node.Text();
        const TDirNode& d = node.Data();
        out.Line(json ? JsonDir(path, node) : TextLine(true, d.Deleted, "-", "", d.DirRef, path));
        const std::size_t folderLength = path.size();
        for (const TFileInfo& f : d.Files) {
            path += '/';
            path += f.Name;
            out.Line(json ? JsonFile(path, f)
                          : TextLine(false, f.Deleted, std::to_string(f.Size), ConditionText(f.Condition),
                                     f.FileRef, path, FileNote(f)));
            path.resize(folderLength);
        }
        stack.push_back({node.FirstChild(), parentLength});
    };
    for (const TTreeNode* top = tree.First(); top; top = top->NextSibling()) {
        path.clear();
        printFolder(*top);
        while (!stack.empty()) {
            Frame& f = stack.back();
            const TTreeNode* child = f.next;
            if (!child) {
                path.resize(f.pathLength);
                stack.pop_back();
                continue;
            }
            f.next = child->NextSibling();
            printFolder(*child);
        }
    }
}

} // namespace

int RunList(const std::vector<std::string>& args)
{
    Arguments a;
    if (auto error = ParseArguments(args, {"--deleted", "--json", "--no-condition", "--system-streams", "--verbose"},
                                    {"--partition"}, {}, a)) {
        std::cerr << "salvage-cli list: " << *error << "\n";
        return kExitUsage;
    }
    if (a.positional.size() != 1) {
        std::cerr << "usage: salvage-cli list [--deleted] [--json] [--no-condition] [--system-streams] "
                     "[--verbose] [--partition N] VOLUME\n";
        return kExitUsage;
    }
    TAnalysisOptions options;
    options.EstimateCondition = !a.Has("--no-condition");
    options.SystemStreams = a.Has("--system-streams");
    TFoundFileModel model;
    int exitCode = kExitOk;
    const auto analysis = AnalyseVolume(a, model, options, true, exitCode);
    if (!analysis)
        return exitCode;

    Output out;
    PrintTree(a.Has("--deleted") ? model.FilterTree() : model.Tree(), a.Has("--json"), out);
    const bool fat = IsFatKind(analysis->Kind());
    // Slots no driver wrote as entries are not listed; say how many.
    if (a.Has("--json") && fat)
        out.Line(JsonObject().Add("event", "summary").Add("implausible_entries", analysis->ImplausibleEntries()).Str());
    out.Flush();
    if (a.Has("--verbose") && fat)
        std::cerr << analysis->ImplausibleEntries() << " directory slots passed over: no FAT driver writes such entries\n";
    std::fflush(stdout);
    return kExitOk;
}

} // namespace salvage::cli
