#include "salvage/search/ModelSink.h"

#include "salvage/fs/FATPlacement.h"

namespace salvage {

TModelSink::TModelSink(TFoundFileModel& model, ProgressFn progress, DoneFn done, FailedFn failed)
    : model_(model), progress_(std::move(progress)), done_(std::move(done)), failed_(std::move(failed))
{
}

TTreeNode* TModelSink::NodeOf(DirToken token) const noexcept
{
    return token < nodes_.size() ? nodes_[token] : nullptr;
}

void TModelSink::FatDirFound(const TFileInfo& dir, DirToken parent, DirToken self)
{
    // A parent token the sink never saw would be a worker's fault; the folder
    // then goes to the top level rather than being lost.
    TTreeNode* node = model_.AddDirRecord(dir, NodeOf(parent));
    if (self == kNoDir)
        return;
    if (self >= nodes_.size())
        nodes_.resize(static_cast<std::size_t>(self) + 1, nullptr);
    nodes_[self] = node;
}

void TModelSink::FatFileFound(const TFileInfo& file, DirToken folder)
{
    if (TTreeNode* node = NodeOf(folder)) {
        model_.AddFileRecord(file, *node);
        Placed(file, folder, *node);
    }
}

void TModelSink::FatFileNamed(const TFileInfo& file, std::string_view name, DirToken folder)
{
    if (TTreeNode* node = NodeOf(folder)) {
        model_.AddFileRecord(file, name, *node);
        Placed(file, folder, *node);
    }
}

void TModelSink::Placed(const TFileInfo& file, DirToken folder, const TTreeNode& node)
{
    if (file.FatEntry != kNoFatEntry)
        deletedFat_.push_back({folder, static_cast<std::uint32_t>(node.Data().Files.size() - 1), file.FatEntry});
}

std::vector<TFileInfo*> TModelSink::DeletedFatFiles() const
{
    std::vector<TFileInfo*> files;
    files.reserve(deletedFat_.size());
    for (const TPlacedFile& placed : deletedFat_) {
        TTreeNode* node = NodeOf(placed.Folder);
        if (!node || placed.Index >= node->Data().Files.size())
            continue;
        TFileInfo& file = node->Data().Files[placed.Index];
        if (file.FatEntry == placed.FatEntry)
            files.push_back(&file);
    }
    return files;
}

void TModelSink::NtfsDirFound(const TFileInfo& dir)
{
    model_.AddNTFSDir(dir);
}

void TModelSink::NtfsFileFound(const TFileInfo& file)
{
    model_.AddNTFSFile(file);
}

void TModelSink::Progress(int percent)
{
    if (progress_)
        progress_(percent);
}

void TModelSink::Failed(const std::string& message)
{
    if (failed_)
        failed_(message);
}

void TModelSink::AllFound()
{
    foundAll_ = true;
}

void TModelSink::Done()
{
    foundAll_ = true;
    completed_ = true;
    if (done_)
        done_();
}

void TModelSink::Reset()
{
    nodes_.clear();
    deletedFat_.clear();
    foundAll_ = false;
    completed_ = false;
}

} // namespace salvage
