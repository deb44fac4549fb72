#include "salvage/recover/ThreadRecover.h"

#include "salvage/disk/Errors.h"
#include "salvage/fs/DateTime.h"
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

platform::FileTimes TimesOf(TDateTime modified, TDateTime accessed)
{
    return {DateTimeToUnixMilliseconds(modified), DateTimeToUnixMilliseconds(accessed)};
}

} // namespace

std::vector<std::string> RecoveryNotices(const TRecoverySummary& summary)
{
    std::vector<std::string> notices;
    if (!summary.OpenError.empty())
        notices.push_back(summary.OpenError);
    if (!summary.Failures.empty())
        notices.push_back(
            Plural(summary.Failures.size(), " file could not be written.", " files could not be written."));
    if (summary.FilesPartial != 0)
        notices.push_back(Plural(summary.FilesPartial, " file could be written only in part.",
                                 " files could be written only in part."));
    return notices;
}

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
        std::unique_ptr<platform::TargetFolder> target = OpenTarget();
        // The analysis's reader serves this job alone until it ends.
        TReaderLease lease;
        if (!target) {
            // The target could not be made, or a folder above the selection was skipped.
        } else if (!job_.Analysis) {
            summary_.OpenError = "The volume has not been analysed.";
        } else if (lease = job_.Analysis->LeaseReader(summary_.OpenError); lease) {
            ntfs_ = job_.Analysis->NtfsReader();
            fat_ = job_.Analysis->FatReader();
            if (fat_ && !fat_->Usable())
                summary_.OpenError = fat_->Problem();
            else if (ntfs_ || fat_)
                RecoverItems(*target);
        }
        ntfs_ = nullptr;
        fat_ = nullptr;
    } catch (const std::exception& e) {
        // A range error in the on-disk data ends the job; what was written stays.
        Fail(currentPath_, e.what());
        EndFile();
        ntfs_ = nullptr;
        fat_ = nullptr;
    }
    // The folders above the selection get their dates last, after everything in them.
    for (auto it = ancestors_.rbegin(); it != ancestors_.rend(); ++it)
        DateFolder(**it);
    ancestors_.clear();
    if (StopRequested())
        return;
    sink_.Done(summary_);
}

std::unique_ptr<platform::TargetFolder> TThreadRecover::OpenTarget()
{
    std::string error;
    std::unique_ptr<platform::TargetFolder> target =
        job_.OpenTarget ? job_.OpenTarget(error) : platform::OpenTargetFolder(job_.TargetPath, error);
    if (!target) {
        Fail(job_.TargetPath, error);
        return nullptr;
    }
    if (job_.TargetSubfolders.size() > kMaxFolderDepth) {
        Fail(target->Path(), "The folder lies too deep to be recreated.");
        return nullptr;
    }
    // The folders above the selection are names from the disk like any
    // other: a broken one gets the same decision (renamed, or skipped with
    // everything below it).
    for (std::size_t i = 0; i < job_.TargetSubfolders.size(); ++i) {
        const std::string& found = job_.TargetSubfolders[i];
        if (SkipBrokenName(found))
            return nullptr;
        std::unique_ptr<platform::TargetFolder> sub = target->Subfolder(CurrentName(), error);
        if (!sub) {
            Fail(target->ChildPath(CurrentName()), error, found);
            return nullptr;
        }
        if (i < job_.TargetSubfolderDates.size())
            FolderCreated(*sub, job_.TargetSubfolderDates[i].Modified, job_.TargetSubfolderDates[i].Accessed);
        ancestors_.push_back(std::move(target));
        target = std::move(sub);
    }
    return target;
}

void TThreadRecover::FolderCreated(const platform::TargetFolder& folder, TDateTime modified, TDateTime accessed)
{
    // A folder that stood there before keeps its own dates (and one the
    // system gives no identity cannot be told from others: it keeps them too).
    if (folder.Created() && folder.Id() != platform::FolderId{})
        createdFolders_[folder.Id()] = TimesOf(modified, accessed);
}

void TThreadRecover::DateFolder(platform::TargetFolder& folder)
{
    const auto it = createdFolders_.find(folder.Id());
    if (it == createdFolders_.end())
        return;
    // A date the target cannot hold costs the date only: nothing is reported.
    std::string error;
    (void)folder.SetTimes(it->second, error);
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
        BeginFile(file);
        if (ntfs_)
            RecoverNtfsFile(file, folder, name);
        else
            RecoverFatFile(file.FileRef, folder, name, file.Deleted, file.Size, file.FatEntry);
        EndFile();
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
                Fail(into.ChildPath(name), "The folder lies too deep to be recreated.", folderNode.Text());
                return false;
            }
            level.owned = into.Subfolder(name, error);
            if (!level.owned) {
                Fail(into.ChildPath(name), error, folderNode.Text());
                return false;
            }
            FolderCreated(*level.owned, folderNode.Data().Modified, folderNode.Data().Accessed);
            level.folder = level.owned.get();
        }
        for (const TFileInfo& f : folderNode.Data().Files) {
            if (Terminated())
                break;
            if (recoverAll || f.Deleted) {
                RecoverFile(f, *level.folder);
            } else {
                SetStatus("Recover \"" + f.Name + "\"");
                SetStatus(kStatusRecovering);
            }
        }
        stack.push_back(std::move(level));
        return true;
    };
    // Leaves a folder: everything in it is written, so its dates can be set.
    auto leave = [&] {
        if (stack.back().owned)
            DateFolder(*stack.back().owned);
        stack.pop_back();
    };

    if (!enter(node, parent))
        return;
    while (!stack.empty()) {
        Level& top = stack.back();
        if (Terminated()) {
            while (!stack.empty())
                leave();
            return;
        }
        const TTreeNode* child = top.nextChild < top.node->ChildCount() ? top.node->Child(top.nextChild) : nullptr;
        if (child == nullptr) {
            leave();
            continue;
        }
        ++top.nextChild;
        if (recoverAll || ShowsDeleted(*child))
            enter(*child, *top.folder);
    }
}

void TThreadRecover::BeginFile(const TFileInfo& file)
{
    file_ = TCurrentFile{};
    file_.Found = &file;
}

platform::OutputFile* TThreadRecover::CreateTarget(platform::TargetFolder& folder, const std::string& name)
{
    currentPath_ = folder.ChildPath(name);
    std::string error;
    std::unique_ptr<platform::OutputFile> file = folder.CreateOutputFile(name, error);
    if (!file) {
        Fail(currentPath_, error);
        return nullptr;
    }
    currentPath_ = file->Path();
    if (file_.Found != nullptr)
        file->SetTimes(TimesOf(file_.Found->Modified, file_.Found->Accessed));
    file_.WantedName = name;
    file_.Target = std::move(file);
    return file_.Target.get();
}

bool TThreadRecover::FinishTarget(platform::OutputFile& file, std::uint64_t /*size*/)
{
    if (!file.Close()) {
        Fail(currentPath_, file.Error());
        return false;
    }
    file_.Finished = true;
    return true;
}

void TThreadRecover::EndFile()
{
    if (!file_.Target) {
        file_ = TCurrentFile{};
        return;
    }
    platform::OutputFile& target = *file_.Target;
    if (!target.Close() && file_.Problem.empty())
        file_.Problem = target.Error();
    const std::string foundName = file_.Found ? file_.Found->Name : file_.WantedName;
    std::uint64_t expected = file_.Found ? file_.Found->Size : 0;
    if (job_.MaxFileBytes != 0)
        expected = std::min(expected, job_.MaxFileBytes);
    const std::uint64_t size = target.Size();
    if (file_.Problem.empty() && !file_.Finished)
        file_.Problem = "The copy was interrupted";
    // A stop cuts the file under way (NTFS files are copied in pieces): it
    // stays, but as what it is, a part.
    if (file_.Problem.empty() && StopRequested() && size < expected)
        file_.Problem = "The recovery was stopped: " + std::to_string(size) + " of " + std::to_string(expected) +
                        " bytes recovered.";

    if (!file_.Problem.empty() && size == 0) {
        // Nothing of the file was written: no empty stub is left behind.
        std::string message = file_.Problem;
        if (!target.Discard())
            message += " The empty file could not be removed: " + target.Error();
        const bool stopped = StopRequested() && file_.Finished;
        file_ = TCurrentFile{};
        if (!stopped) {
            TRecoveryFailure failure{currentPath_, foundName, message};
            sink_.FileFailed(failure);
            summary_.Failures.push_back(std::move(failure));
        }
        return;
    }

    TRecoveredFile done;
    done.Path = target.Path();
    done.Name = target.Name();
    done.FoundName = foundName;
    done.Size = size;
    done.Renamed = target.Name() != platform::SafeComponentName(file_.WantedName);
    done.Partial = !file_.Problem.empty();
    done.Message = file_.Problem;
    file_ = TCurrentFile{};
    summary_.BytesWritten += done.Size;
    if (done.Renamed)
        ++summary_.FilesRenamed;
    if (done.Partial) {
        ++summary_.FilesPartial;
        summary_.PartialFiles.push_back(done);
    } else {
        ++summary_.FilesWritten;
    }
    sink_.FileWritten(done);
}

void TThreadRecover::Fail(const std::string& path, const std::string& message, const std::string& foundName)
{
    if (file_.Target) {
        // The file under way: EndFile decides whether it stays as a part.
        if (file_.Problem.empty())
            file_.Problem = message;
        return;
    }
    TRecoveryFailure failure{path, file_.Found ? file_.Found->Name : foundName, message};
    sink_.FileFailed(failure);
    summary_.Failures.push_back(std::move(failure));
}

} // namespace salvage
