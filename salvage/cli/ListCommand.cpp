// salvage-cli list VOLUME: analyses the volume and prints the results tree,
// every folder and file with its path from the top-level node.

#include "salvage/cli/CliAnalysis.h"
#include "salvage/cli/Commands.h"
#include "salvage/cli/Json.h"
#include "salvage/cli/ListOutput.h"
#include "salvage/fs/DateTime.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace salvage::cli {
namespace {

const char* ConditionText(std::uint8_t condition)
{
    switch (condition) {
    case kGood: return "Good";
    case kPoor: return "Bad";
    default: return "";
    }
}

template <typename Integer>
void AppendNumber(std::string& out, Integer value)
{
    char digits[24];
    const auto r = std::to_chars(std::begin(digits), std::end(digits), value);
    out.append(digits, r.ptr);
}

// `text` right-aligned in `width` characters (longer text is not cut).
void AppendRight(std::string& out, std::string_view text, std::size_t width)
{
    if (text.size() < width)
        out.append(width - text.size(), ' ');
    out += text;
}

void AppendLeft(std::string& out, std::string_view text, std::size_t width)
{
    out += text;
    if (text.size() < width)
        out.append(width - text.size(), ' ');
}

// "YYYY-MM-DDThh:mm:ss" of each date, made once per distinct value among
// the last few thousand (the dates of a folder's files repeat).
class DateTexts {
public:
    // The text of a non-zero date.
    std::string_view Of(TDateTime date)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &date, sizeof bits);
        Slot& slot = slots_[(bits ^ (bits >> 29) ^ (bits >> 47)) % kSlots];
        if (!slot.used || slot.bits != bits) {
            slot.used = true;
            slot.bits = bits;
            slot.text = FormatIsoDateTime(date);
        }
        return slot.text;
    }

private:
    static constexpr std::size_t kSlots = 4096;
    struct Slot {
        std::uint64_t bits = 0;
        bool used = false;
        std::string text;  // 19 characters: within the string's own space
    };
    std::vector<Slot> slots_ = std::vector<Slot>(kSlots);
};

void AppendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    AppendJsonEscaped(out, text);
    out += '"';
}

class Formatter {
public:
    Formatter(bool json, TListOutput& out) : json_(json), out_(out) {}

    // `path` and `name` (the path's last part) as the listing shows them:
    // escaped for JSON.
    void Folder(std::string_view path, std::string_view name, const TTreeNode& node)
    {
        const TDirNode& d = node.Data();
        std::string& o = out_.Text();
        if (json_) {
            o += "{\"path\":\"";
            o += path;
            o += "\",\"name\":\"";
            o += name;
            o += "\",\"type\":\"dir\",\"deleted\":";
            o += d.Deleted ? "true" : "false";
            o += ",\"size\":null,\"condition\":\"\",\"ref\":";
            AppendNumber(o, static_cast<std::uint64_t>(d.DirRef));
            Dates(o, d.Modified, d.Created);
            o += '}';
        } else {
            Head(o, true, d.Deleted, "-", "", d.DirRef);
            o += path;
        }
        out_.EndLine();
    }

    void File(std::string_view path, std::string_view name, const TFileInfo& f)
    {
        std::string& o = out_.Text();
        if (json_) {
            o += "{\"path\":\"";
            o += path;
            o += "\",\"name\":\"";
            o += name;
            o += "\",\"type\":\"file\",\"deleted\":";
            o += f.Deleted ? "true" : "false";
            o += ",\"size\":";
            AppendNumber(o, f.Size);
            o += ",\"condition\":\"";
            o += ConditionText(f.Condition);
            o += "\",\"ref\":";
            AppendNumber(o, static_cast<std::uint64_t>(f.FileRef));
            Dates(o, f.Modified, f.Created);
            if (f.StreamAt == 0) {
                o += ",\"stream\":null";
            } else {
                o += ",\"stream\":";
                AppendQuoted(o, StreamName(f));
            }
            o += ",\"encrypted\":";
            o += f.Encrypted ? "true" : "false";
            o += ",\"compressed\":";
            o += f.Compressed ? "true" : "false";
            o += '}';
        } else {
            char size[24];
            const auto r = std::to_chars(std::begin(size), std::end(size), f.Size);
            Head(o, false, f.Deleted, std::string_view(size, static_cast<std::size_t>(r.ptr - size)),
                 ConditionText(f.Condition), f.FileRef);
            o += path;
            // What the text listing says after a file's path.
            if (f.Encrypted)
                o += "  (encrypted: recovered as stored, unreadable without the owner's key)";
            else if (f.Compressed)
                o += "  (compressed)";
        }
        out_.EndLine();
    }

private:
    // "%-4s  %-7s  %12s  %-4s  %10u  "
    static void Head(std::string& o, bool directory, bool deleted, std::string_view size, std::string_view condition,
                     std::uint32_t ref)
    {
        o += directory ? "dir   " : "file  ";
        o += deleted ? "deleted  " : "live     ";
        AppendRight(o, size, 12);
        o += "  ";
        AppendLeft(o, condition.empty() ? std::string_view("-") : condition, 4);
        o += "  ";
        char digits[16];
        const auto r = std::to_chars(std::begin(digits), std::end(digits), ref);
        AppendRight(o, std::string_view(digits, static_cast<std::size_t>(r.ptr - digits)), 10);
        o += "  ";
    }

    void Dates(std::string& o, TDateTime modified, TDateTime created)
    {
        o += ",\"modified\":";
        Date(o, modified);
        o += ",\"created\":";
        Date(o, created);
    }

    void Date(std::string& o, TDateTime date)
    {
        if (date == 0) {
            o += "null";
            return;
        }
        o += '"';
        o += dates_.Of(date);
        o += '"';
    }

    bool json_;
    TListOutput& out_;
    DateTexts dates_;
};

// Depth-first: a folder, its files, then its subfolders. The path grows
// and shrinks with the walk, escaped as it grows for JSON, so that each name
// is escaped once, and the line takes the name from the path's end.
void PrintTree(const TResultsTree& tree, bool json, TListOutput& out)
{
    if (!json)
        out.Line("Type  State            Size  Cond         Ref  Path");
    Formatter formatter(json, out);
    struct Frame {
        const TTreeNode* next;   // the next child to print
        std::size_t pathLength;  // the length of the folder's parent's path
    };
    std::string path;
    std::vector<Frame> stack;
    auto append = [&](std::string_view name) {
        if (json)
            AppendJsonEscaped(path, name);
        else
            path += name;
    };
    auto printFolder = [&](const TTreeNode& node) {
        const std::size_t parentLength = path.size();
        if (!path.empty())
            path += '/';
        const std::size_t nameAt = path.size();
        append(node.Text());
        formatter.Folder(path, std::string_view(path).substr(nameAt), node);
        const std::size_t folderLength = path.size();
        for (const TFileInfo& f : node.Data().Files) {
            path += '/';
            append(f.Name);
            formatter.File(path, std::string_view(path).substr(folderLength + 1), f);
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
    options.FilteredTree = a.Has("--deleted");
    TFoundFileModel model;
    int exitCode = kExitOk;
    const auto analysis = AnalyseVolume(a, model, options, true, exitCode);
    if (!analysis)
        return exitCode;

    TListOutput out;
    PrintTree(a.Has("--deleted") ? model.FilterTree() : model.Tree(), a.Has("--json"), out);
    const bool fat = IsFatKind(analysis->Kind());
    // Slots no driver wrote as entries are not listed; say how many.
    if (a.Has("--json") && fat)
        out.Line(JsonObject().Add("event", "summary").Add("implausible_entries", analysis->ImplausibleEntries()).Str());
    if (!out.Finish()) {
        std::cerr << "salvage-cli list: the listing could not be written: " << out.Error() << "\n";
        return kExitFailure;
    }
    if (a.Has("--verbose") && fat)
        std::cerr << analysis->ImplausibleEntries() << " directory slots passed over: no FAT driver writes such entries\n";
    return kExitOk;
}

} // namespace salvage::cli
