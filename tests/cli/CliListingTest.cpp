// The listings of `salvage-cli list`, byte for byte: the reference images
// against listings kept beside the tests, every generated volume against a
// plain formatter of the same analysis written here (the generated volumes
// carry the dates they were made on, so their listings cannot be kept).

#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using testdata::RunProcess;
using testdata::ShellQuote;

namespace {

std::string Cli(const std::string& args)
{
    return ShellQuote(SALVAGE_CLI) + " " + args;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Where two texts first differ, with the lines around it.
std::string FirstDifference(const std::string& want, const std::string& got)
{
    std::size_t i = 0;
    while (i < want.size() && i < got.size() && want[i] == got[i])
        ++i;
    if (i == want.size() && i == got.size())
        return "identical";
    const std::size_t from = want.rfind('\n', i == 0 ? 0 : i - 1);
    const std::size_t start = from == std::string::npos ? 0 : from + 1;
    return "first difference at byte " + std::to_string(i) + "\nwant: " + want.substr(start, 300) +
           "\ngot:  " + got.substr(start, 300);
}

// ---- the plain formatter: one snprintf or string per field ----

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"')
            out += "\\\"";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else
            out += ch;
    }
    return out + "\"";
}

std::string Date(salvage::TDateTime d)
{
    if (d == 0)
        return "null";
    const salvage::DateTimeFields f = salvage::DecodeDateTime(d);
    char text[64];
    std::snprintf(text, sizeof text, "\"%04d-%02d-%02dT%02d:%02d:%02d\"", f.Year, f.Month, f.Day, f.Hour, f.Minute,
                  f.Second);
    return text;
}

const char* Condition(std::uint8_t c)
{
    return c == salvage::kGood ? "Good" : c == salvage::kPoor ? "Bad" : "";
}

const char* Bool(bool b)
{
    return b ? "true" : "false";
}

std::string TextRow(bool dir, bool deleted, const std::string& size, const char* cond, std::uint32_t ref,
                    const std::string& path)
{
    char head[128];
    std::snprintf(head, sizeof head, "%-4s  %-7s  %12s  %-4s  %10u  ", dir ? "dir" : "file",
                  deleted ? "deleted" : "live", size.c_str(), *cond ? cond : "-", ref);
    return head + path;
}

void Folder(const salvage::TTreeNode& node, const std::string& parent, bool json, std::string& out)
{
    const std::string path = parent.empty() ? node.Text() : parent + "/" + node.Text();
    const salvage::TDirNode& d = node.Data();
    if (json)
        out += "{\"path\":" + Quote(path) + ",\"name\":" + Quote(node.Text()) + ",\"type\":\"dir\",\"deleted\":" +
               Bool(d.Deleted) + ",\"size\":null,\"condition\":\"\",\"ref\":" + std::to_string(d.DirRef) +
               ",\"modified\":" + Date(d.Modified) + ",\"created\":" + Date(d.Created) + "}\n";
    else
        out += TextRow(true, d.Deleted, "-", "", d.DirRef, path) + "\n";
    for (const salvage::TFileInfo& f : d.Files) {
        const std::string filePath = path + "/" + f.Name;
        if (json) {
            out += "{\"path\":" + Quote(filePath) + ",\"name\":" + Quote(f.Name) + ",\"type\":\"file\",\"deleted\":" +
                   Bool(f.Deleted) + ",\"size\":" + std::to_string(f.Size) + ",\"condition\":" +
                   Quote(Condition(f.Condition)) + ",\"ref\":" + std::to_string(f.FileRef) +
                   ",\"modified\":" + Date(f.Modified) + ",\"created\":" + Date(f.Created) + ",\"stream\":" +
                   (f.StreamAt == 0 ? std::string("null") : Quote(std::string(salvage::StreamName(f)))) +
                   ",\"encrypted\":" + Bool(f.Encrypted) + ",\"compressed\":" + Bool(f.Compressed) + "}\n";
        } else {
            std::string row = TextRow(false, f.Deleted, std::to_string(f.Size), Condition(f.Condition), f.FileRef,
                                      filePath);
            if (f.Encrypted)
                row += "  (encrypted: recovered as stored, unreadable without the owner's key)";
            else if (f.Compressed)
                row += "  (compressed)";
            out += row + "\n";
        }
    }
    for (const salvage::TTreeNode* c = node.FirstChild(); c; c = c->NextSibling())
        Folder(*c, path, json, out);
}

// What `list` prints for an analysis, by the rules of its help text.
std::string PlainListing(const salvage::TResultsTree& tree, bool json, bool fat, std::uint64_t implausible)
{
    std::string out = json ? "" : "Type  State            Size  Cond         Ref  Path\n";
    for (const salvage::TTreeNode* top = tree.First(); top; top = top->NextSibling())
        Folder(*top, "", json, out);
    if (json && fat)
        out += "{\"event\":\"summary\",\"implausible_entries\":" + std::to_string(implausible) + "}\n";
    return out;
}

struct Mode {
    const char* args;
    const char* suffix;  // of the kept listing's file name
    bool json;
    bool deleted;
    bool condition;
};

const Mode kModes[] = {
    {"", "", false, false, true},
    {"--json", "-json", true, false, true},
    {"--deleted", "-deleted", false, true, true},
    {"--deleted --json", "-deleted-json", true, true, true},
    {"--json --no-condition", "-json-nocondition", true, false, false},
};

} // namespace

// The reference images' listings as this tool printed them when they were
// checked against the images' answer key (dates in UTC).
TEST(CliListing, ReferenceImagesByteForByte)
{
    const struct {
        std::string image;
        const char* name;
    } images[] = {{testdata::ReferenceFatImage(), "fat"}, {testdata::ReferenceNtfsImage(), "ntfs"}};
    for (const auto& image : images) {
        for (const Mode& mode : kModes) {
            const std::string file = std::string(KESTREL_SOURCE_DIR) + "/tests/data/listings/" + image.name +
                                     mode.suffix + ".txt";
            const auto r = RunProcess("TZ=UTC " + Cli(std::string("list ") + mode.args + " " + ShellQuote(image.image)));
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const std::string want = ReadText(file);
            ASSERT_FALSE(want.empty()) << file;
            EXPECT_EQ(r.out, want) << image.name << " " << mode.args << ": " << FirstDifference(want, r.out);
        }
    }
}

// Every generated volume, each way of listing it, against the plain
// formatter over an analysis made in this process.
TEST(CliListing, GeneratedVolumesMatchPlainFormatter)
{
    const std::string images[] = {
        testdata::FatVolume("fat12").image,     testdata::FatVolume("fat16").image,
        testdata::FatVolume("fat32").image,     testdata::Path("fat/scenarios.img"),
        testdata::Path("fat/collisions.img"),   testdata::NtfsVolume("ntfs4k").image,
        testdata::NtfsVolume("ntfs512").image,  testdata::NtfsVolume("ntfs4kn").image,
        testdata::NtfsVolume("ntfsfeat").image, testdata::NtfsVolume("ntfs2m").image,
        testdata::NtfsVolume("ntfs128k").image, testdata::NtfsVolume("ntfs1m").image,
        testdata::Path("ntfs/ntfshuge.img"),
    };
    for (const std::string& image : images) {
        salvage::TLogicalDisk disk;
        disk.DevicePath = image;
        std::string error;
        const auto analysis = salvage::TAnalysis::Open(disk, error);
        ASSERT_TRUE(analysis) << image << ": " << error;
        const bool fat = salvage::IsFatKind(analysis->Kind());
        for (const bool condition : {true, false}) {
            salvage::TFoundFileModel model;
            salvage::TAnalysisOptions options;
            options.EstimateCondition = condition;
            ASSERT_TRUE(analysis->Run(model, options, {}, error)) << error;
            for (const Mode& mode : kModes) {
                if (mode.condition != condition)
                    continue;
                const std::string want = PlainListing(mode.deleted ? model.FilterTree() : model.Tree(), mode.json,
                                                      fat, analysis->ImplausibleEntries());
                const auto r = RunProcess(Cli(std::string("list ") + mode.args + " " + ShellQuote(image)));
                ASSERT_EQ(r.exitCode, 0) << image << ": " << r.err;
                EXPECT_EQ(r.out, want) << image << " " << mode.args << ": " << FirstDifference(want, r.out);
            }
        }
    }
}
