#pragma once
// Applies search reports to a found-file model as they come, on the calling
// thread. The command-line tool hands it to the worker directly; the windows
// replay batches into one on their main thread (BatchingSink.h).

#include "salvage/search/FoundFileModel.h"
#include "salvage/search/SearchSink.h"

#include <functional>
#include <vector>

namespace salvage {

class TModelSink : public TSearchSink {
public:
    using ProgressFn = std::function<void(int percent)>;
    using DoneFn = std::function<void()>;
    using FailedFn = std::function<void(const std::string& message)>;

    explicit TModelSink(TFoundFileModel& model, ProgressFn progress = {}, DoneFn done = {}, FailedFn failed = {});

    void FatDirFound(const TFileInfo& dir, DirToken parent, DirToken self) override;
    void FatFileFound(const TFileInfo& file, DirToken folder) override;
    void FatFileNamed(const TFileInfo& file, std::string_view name, DirToken folder) override;
    void NtfsDirFound(const TFileInfo& dir) override;
    void NtfsFileFound(const TFileInfo& file) override;
    void Progress(int percent) override;
    void Failed(const std::string& message) override;
    void AllFound() override;
    void Done() override;

    // The folder node a FAT token names; null for kNoDir and unknown tokens.
    [[nodiscard]] TTreeNode* NodeOf(DirToken token) const noexcept;
    // True once AllFound() was applied: no more folders or files will come.
    [[nodiscard]] bool FoundAll() const noexcept { return foundAll_; }
    // True once Done() was applied.
    [[nodiscard]] bool Completed() const noexcept { return completed_; }
    // The FAT files applied so far that have an entry in the reader's
    // deleted-file map, as they stand in the tree now (a record that is no
    // longer where it was put is left out).
    [[nodiscard]] std::vector<TFileInfo*> DeletedFatFiles() const;
    // Forgets the tokens (call it when the model is cleared for a new analysis).
    void Reset();

private:
    TFoundFileModel& model_;
    ProgressFn progress_;
    DoneFn done_;
    FailedFn failed_;
    std::vector<TTreeNode*> nodes_;  // by token; tokens are small and dense
    // Where each FAT file with a map entry went: a few in a volume of files,
    // so the conditions are revised without a pass over every record.
    struct TPlacedFile {
        DirToken Folder;
        std::uint32_t Index;
        std::uint32_t FatEntry;
    };
    std::vector<TPlacedFile> deletedFat_;
    void Placed(const TFileInfo& file, DirToken folder, const TTreeNode& node);
    bool foundAll_ = false;
    bool completed_ = false;
};

} // namespace salvage
