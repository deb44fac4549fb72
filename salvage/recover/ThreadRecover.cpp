#include "salvage/recover/ThreadRecover.h"

#include "salvage/disk/Errors.h"
#include "salvage/disk/Messages.h"
#include "salvage/fs/FAT.h"
#include "salvage/fs/NTFS.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"

namespace salvage {

namespace {

// Deeper folders than this are not created: each open level holds a folder
// handle, and a damaged parent chain can make a tree many thousands deep.
constexpr std::size_t kMaxFolderDepth = 256;

std::string Plural(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + (n == 1 ? one : many);
}

} // namespace

TThreadRecover::TThreadRecover(TRecoveryJob job, TRecoverySink& sink, TBrokenNameQuestion& question)
    : job_(std::move(job)), sink_(sink), question_(question)
{
}

TThreadRecover::~TThreadRecover()
{
    Stop();
}

std::string TThreadRecover::CurrentName() const
{
    std::lock_guard lock(nameMutex_);
    return currentName_;
}

void TThreadRecover::Execute()
{
    broken_.Reset();
    try {
        std::string error;
        std::unique_ptr<platform::TargetFolder> target = platform::OpenTargetFolder(job_.TargetPath, error);
        for (const std::string& name : job_.TargetSubfolders) {
            if (!target)
                break;
            target = target->Subfolder(name, error);
        }
        // The analysis's reader serves this job alone until it ends.
        TReaderLease lease;
        if (!job_.Analysis) {
            summary_.OpenError = "The volume has not been analysed.";
        } else if (lease = job_.Analysis->LeaseReader(summary_.OpenError); lease) {
            ntfs_ = job_.Analysis->NtfsReader();
            fat_ = job_.Analysis->FatReader();
        }
        if (!lease) {
            ShowMessageBox(summary_.OpenError);
        } else if (!target) {
            Fail(job_.TargetPath, error);
        } else if (fat_ && !fat_->Usable()) {
            summary_.OpenError = fat_->Problem();
            ShowMessageBox(summary_.OpenError);
        } else if (ntfs_ || fat_) {
            RecoverItems(*target);
        }
        ntfs_ = nullptr;
        fat_ = nullptr;
    } catch (const std::exception& e) {
        // A range error in the on-disk data ends the job; what was written stays.
        Fail(currentPath_, e.what());
        ntfs_ = nullptr;
        fat_ = nullptr;
    }
    if (StopRequested())
        return;
    if (!summary_.Failures.empty())
        ShowMessageBox(Plural(summary_.Failures.size(), " file could not be written.", " files could not be written."),
                       MessageIcon::Warning);
    sink_.Done(summary_);
}

void TThreadRecover::RecoverItems(platform::TargetFolder& target)
{
    for (const TFileLocation& location : job_.SelectedFiles) {
        if (Terminated())
            return;
        if (const TFileInfo* file = location.File())
            RecoverFile(*file, target);
    }
    for (const TTreeNode* node : job_.SelectedFolders) {
        if (Terminated())
            return;
        RecoverFolder(target, *node, job_.RecoverAll);
    }
}

void TThreadRecover::SetStatus(const std::string& text)
{
    sink_.StatusText(text);
}

void TThreadRecover::SetProgress(int percent)
{
    if (percent == progress_)
        return;
    progress_ = percent;
    sink_.Progress(percent);
}

bool TThreadRecover::SkipBrokenName(const std::string& foundName)
{
    {
        std::lock_guard lock(nameMutex_);
        currentName_ = foundName;
    }
    if (!IsBrokenName(foundName))
        return false;
    std::string name = foundName;
    broken_.AskBrokenName(name, question_);
    {
        std::lock_guard lock(nameMutex_);
        currentName_ = name;
    }
    if (!broken_.SkipCurrent)
        return false;
    ++summary_.Skipped;
    sink_.FileSkipped(foundName, TSkipReason::BrokenName);
    return true;
}

void TThreadRecover::RecoverFile(const TFileInfo& file, platform::TargetFolder& folder)
{
    SetStatus("Recover \"" + file.Name + "\"");
    if (!SkipBrokenName(file.Name)) {
        const std::string name = CurrentName();
        if (ntfs_)
            RecoverNtfsFile(file.FileRef, folder, name, file.Name);
        else
            RecoverFatFile(file.FileRef, folder, name, file.Deleted, file.Size, file.FatEntry);
    }
    SetStatus(kStatusRecovering);
}

void TThreadRecover::RecoverFolder(platform::TargetFolder& parent, const TTreeNode& node, bool recoverAll)
{
    // Depth first with an explicit stack: a damaged volume can nest folders
    // deeper than the thread's stack would allow.
    struct Level {
        const TTreeNode* node;
        platform::TargetFolder* folder;
        std::unique_ptr<platform::TargetFolder> owned;
        std::size_t nextChild = 0;
    };
    std::vector<Level> stack;

    // Enters a folder: its own target folder, then its files. False when it is skipped.
    auto enter = [&](const TTreeNode& folderNode, platform::TargetFolder& into) -> bool {
        if (SkipBrokenName(folderNode.Text()))
            return false;
        Level level{&folderNode, &into, nullptr, 0};
        // The root's text "." is the program's, not a name: its contents go
        // straight into the folder it is recovered into.
        if (!(folderNode.Parent() == nullptr && folderNode.Text() == kRootText)) {
            std::string error;
            const std::string name = CurrentName();
            if (stack.size() >= kMaxFolderDepth) {
                Fail(into.Path() + "/" + name, "The folder lies too deep to be recreated.");
                return false;
            }
            level.owned = into.Subfolder(name, error);
            if (!level.owned) {
                Fail(into.Path() + "/" + name, error);
                return false;
            }
            level.folder = level.owned.get();
        }
        for (const TFileInfo& f : folderNode.Data().Files) {
            if (Terminated())
                break;
            SetStatus("Recover \"" + f.Name + "\"");
            if ((recoverAll || f.Deleted) && !SkipBrokenName(f.Name)) {
                const std::string name = CurrentName();
                if (ntfs_)
                    RecoverNtfsFile(f.FileRef, *level.folder, name, f.Name);
                else
                    RecoverFatFile(f.FileRef, *level.folder, name, f.Deleted, f.Size, f.FatEntry);
            }
            SetStatus(kStatusRecovering);
        }
        stack.push_back(std::move(level));
        return true;
    };

    if (!enter(node, parent))
        return;
    while (!stack.empty()) {
        Level& top = stack.back();
        if (Terminated())
            return;
        const TTreeNode* child = top.nextChild < top.node->ChildCount() ? top.node->Child(top.nextChild) : nullptr;
        if (child == nullptr) {
            stack.pop_back();
            continue;
        }
        ++top.nextChild;
        if (recoverAll || ShowsDeleted(*child))
            enter(*child, *top.folder);
    }
}

std::unique_ptr<platform::OutputFile> TThreadRecover::CreateTarget(platform::TargetFolder& folder,
                                                                   const std::string& name)
{
    currentPath_ = folder.Path() + "/" + platform::SafeComponentName(name);
    std::string error;
    std::unique_ptr<platform::OutputFile> file = folder.CreateOutputFile(name, error);
    if (!file)
        Fail(currentPath_, error);
    return file;
}

bool TThreadRecover::FinishTarget(platform::OutputFile& file, std::uint64_t size)
{
    if (!file.Close()) {
        Fail(currentPath_, file.Error());
        return false;
    }
    ++summary_.FilesWritten;
    summary_.BytesWritten += size;
    sink_.FileWritten(currentPath_, size);
    return true;
}

void TThreadRecover::Fail(const std::string& path, const std::string& message)
{
    TRecoveryFailure failure{path, message};
    sink_.FileFailed(failure);
    summary_.Failures.push_back(std::move(failure));
}

} // namespace salvage
