// Analysis and recovery of every found file (FAT or NTFS) over a volume in
// the chunk layout (ChunkVolume.h), into a fresh folder per input. Afterwards
// the folder must hold only folders and regular files of bounded size, the
// folders around it must hold nothing new, every file the recovery reports
// written must lie inside it, and the folder must be gone once removed.

#include "ChunkVolume.h"
#include "FuzzCommon.h"

#include "salvage/recover/RecoveryJob.h"
#include "salvage/recover/ThreadRecover.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include <sanitizer/common_interface_defs.h>
#include <stdlib.h>

using namespace salvage;
namespace fs = std::filesystem;

namespace {

// Each file is cut at this size, and a volume that gives more files than
// this is not recovered, so one input writes a few megabytes at most.
constexpr std::uint64_t kMaxFileBytes = 16 * 1024;
constexpr std::size_t kMaxFiles = 256;

// The per-process folder (on /dev/shm when there is one: no disk writes).
// Inside it each input gets "run", and the recovery writes into "run/out".
std::string& Base()
{
    static std::string base;
    return base;
}

void RemoveBase()
{
    std::error_code ec;
    if (!Base().empty())
        fs::remove_all(Base(), ec);
}

// A reported path must stay inside the target when the system reads it: it
// starts with the target, and no component below it is empty, "." or "..",
// or holds a NUL (the system would read the name only up to it).
void CheckReportedPath(const std::string& target, const std::string& path)
{
    if (path.compare(0, target.size() + 1, target + "/") != 0)
        fuzzsupport::Fail("a recovered path lies outside the target folder");
    std::size_t start = target.size() + 1;
    for (;;) {
        const std::size_t end = path.find('/', start);
        const std::string component = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (component.empty() || component == "." || component == ".." || component.find('\0') != std::string::npos)
            fuzzsupport::Fail("a recovered path has a component that leaves its folder");
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
}

class CheckingSink final : public TRecoverySink {
public:
    explicit CheckingSink(std::string target) : target_(std::move(target)) {}
    void FileWritten(const std::string& path, std::uint64_t size) override
    {
        std::lock_guard lock(mutex_);
        CheckReportedPath(target_, path);
        if (size > kMaxFileBytes)
            fuzzsupport::Fail("a file was written past the size bound");
    }

private:
    std::string target_;
    std::mutex mutex_;
};

// Only `allowed` (or nothing) may stand in `folder`.
void CheckOnly(const fs::path& folder, const char* allowed)
{
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename() != allowed)
            fuzzsupport::Fail("something was written beside the target folder");
}

void CheckOutput(const fs::path& out)
{
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(out, ec)))
        return;
    for (auto it = fs::recursive_directory_iterator(out, fs::directory_options::none);
         it != fs::recursive_directory_iterator(); ++it) {
        const fs::file_status status = it->symlink_status();
        if (fs::is_directory(status))
            continue;
        if (!fs::is_regular_file(status))
            fuzzsupport::Fail("the recovery made something other than a folder or a regular file");
        if (fs::file_size(it->path()) > kMaxFileBytes)
            fuzzsupport::Fail("a recovered file is larger than the size bound");
    }
}

void RecoverAll(const std::shared_ptr<TAnalysis>& analysis, const TFoundFileModel& model, const std::string& target)
{
    TRecoveryJob job;
    job.TargetPath = target;
    job.RecoverAll = true;
    job.MaxFileBytes = kMaxFileBytes;
    job.Analysis = analysis;
    for (std::size_t i = 0; i < model.Tree().TopLevelCount(); ++i)
        job.SelectedFolders.push_back(model.Tree().TopLevel(i));
    CheckingSink sink(target);
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);
    TThreadRecover thread(std::move(job), sink, answer);
    thread.Start();
    thread.Wait();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::QuietMessages();
    std::string pattern = (fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string()) +
                          "/kestrel-fuzz-recover-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        fuzzsupport::Fail("cannot make the temporary folder");
    Base() = pattern;
    // The folder goes at a normal exit, a failed check and a sanitizer report.
    std::atexit(RemoveBase);
    fuzzsupport::FailCleanup() = RemoveBase;
    __sanitizer_set_death_callback(RemoveBase);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFoundFileModel model;
    const auto analysis = fuzzsupport::AnalyseVolume(fuzzsupport::MakeChunkVolume(std::span(data, size)), model, false);
    if (!analysis)
        return 0;
    if (fuzzsupport::WalkTree(model.Tree()) > kMaxFiles)
        return 0;

    const fs::path run = fs::path(Base()) / "run";
    const fs::path out = run / "out";
    fs::create_directory(run);
    RecoverAll(analysis, model, out.string());

    CheckOnly(Base(), "run");
    CheckOnly(run, "out");
    CheckOutput(out);
    fs::remove_all(run);
    if (fs::exists(fs::symlink_status(run)))
        fuzzsupport::Fail("the target folder is still there after its removal");
    return 0;
}
