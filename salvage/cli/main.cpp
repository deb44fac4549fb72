// salvage-cli: the recovery engine from the command line.

#include "salvage/cli/Commands.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/disk/Messages.h"

#include <iostream>

#if defined(_WIN32)
#include "platform/Utf16.h"

#include <windows.h>
#include <shellapi.h>
#endif

namespace salvage::cli {

std::optional<std::string> Arguments::Value(const std::string& name) const
{
    const auto it = values.find(name);
    if (it == values.end() || it->second.empty())
        return std::nullopt;
    return it->second.back();
}

std::optional<std::string> ParseArguments(const std::vector<std::string>& args,
                                          const std::set<std::string>& flagNames,
                                          const std::set<std::string>& valueNames,
                                          const std::set<std::string>& repeatableNames, Arguments& out)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            out.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        if (flagNames.count(arg) != 0 && !inlineValue) {
            out.flags.insert(arg);
        } else if (valueNames.count(arg) != 0 || repeatableNames.count(arg) != 0) {
            if (!inlineValue && i + 1 >= args.size())
                return "option " + arg + " needs a value";
            auto& list = out.values[arg];
            if (!list.empty() && repeatableNames.count(arg) == 0)
                return "option " + arg + " is given twice";
            list.push_back(inlineValue ? *inlineValue : args[++i]);
        } else {
            return "unknown option " + arg;
        }
    }
    return std::nullopt;
}

} // namespace salvage::cli

namespace {

void PrintUsage(std::ostream& out)
{
    out << "usage: salvage-cli COMMAND [OPTIONS] VOLUME\n"
           "\n"
           "VOLUME is a FAT or NTFS volume: a device or a disk-image file, or a whole-disk\n"
           "image with an MBR or GPT partition table (pick a partition with --partition N).\n"
           "The volume is only ever read.\n"
           "\n"
           "commands:\n"
           "  info [--json] [--partition N] VOLUME\n"
           "      the file-system kind and the geometry of the volume\n"
           "  list [--deleted] [--json] [--no-condition] [--system-streams] [--verbose]\n"
           "       [--partition N] VOLUME\n"
           "      analyses the volume and prints every folder and file found, live and\n"
           "      deleted; --deleted prints only the deleted ones and the folders that hold\n"
           "      them, --no-condition skips the recovery-condition estimate, --verbose\n"
           "      tells on stderr how many FAT directory slots were passed over as no entry\n"
           "  recover VOLUME --to DIR [--path P]... [--all] [--structure]\n"
           "          [--rename-char C | --skip-broken] [--fat-clusters RULE] [--json]\n"
           "          [--partition N] [--allow-same-disk]\n"
           "      writes the deleted files of the folders and files named by --path (paths as\n"
           "      list prints them, with or without the leading \"./\"; by default every\n"
           "      top-level folder) into DIR; --all takes live files too, --structure\n"
           "      recreates the folders above the selection; a name whose first letter was\n"
           "      lost (\"?ILE.TXT\") gets C, or \"_\" by default, in its place, or is skipped\n"
           "      with --skip-broken. Nothing in DIR is replaced: a taken name gets \" (2)\".\n"
           "      On FAT, RULE places a deleted file's clusters: \"gaps\" (default) takes the\n"
           "      free clusters that nothing else on the volume claims, \"consecutive\" the\n"
           "      ones after its first cluster; each file says which rule placed it and\n"
           "      whether the volume allowed another placement (\"ambiguous\").\n"
           "      DIR on the disk being read is refused unless --allow-same-disk is given\n"
           "  --version\n"
           "      prints the version\n";
}

} // namespace

int main(int argc, char** argv)
{
    using namespace salvage::cli;
    salvage::SetMessageHook([](const std::string& text, salvage::MessageIcon) { std::cerr << text << "\n"; });
    if (!salvage::InitRawDiskAccess())
        return kExitFailure;
    if (argc < 2) {
        PrintUsage(std::cerr);
        return kExitUsage;
    }
    std::vector<std::string> words(argv + 1, argv + argc);
#if defined(_WIN32)
    // argv is in the ANSI code page, which cannot hold every name; the wide
    // command line can, and the program's strings are UTF-8. Names printed
    // go to a console in UTF-8 too.
    int wideCount = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wideCount)) {
        if (wideCount == argc) {
            words.clear();
            for (int i = 1; i < wideCount; ++i) {
                const std::wstring word(wide[i]);
                words.push_back(platform::Utf16ToUtf8(std::u16string(word.begin(), word.end())));
            }
        }
        LocalFree(wide);
    }
    SetConsoleOutputCP(CP_UTF8);
#endif
    const std::string verb = words[0];
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (verb == "info")
        return RunInfo(args);
    if (verb == "list")
        return RunList(args);
    if (verb == "recover")
        return RunRecover(args);
    if (verb == "--version") {
        std::cout << "salvage-cli " << KESTREL_VERSION << "\n";
        return kExitOk;
    }
    if (verb == "--help" || verb == "-h" || verb == "help") {
        PrintUsage(std::cout);
        return kExitOk;
    }
    std::cerr << "salvage-cli: unknown command \"" << verb << "\"\n";
    PrintUsage(std::cerr);
    return kExitUsage;
}
