#pragma once
// TFileListModel: the results list, a virtual table of the subfolders and
// files of the folder selected in the tree (the shown folder). It keeps
// seven stores of one element per row (name, the four column texts, image
// and source) made once when a row is added, sorts them by one of ten modes,
// and follows the results trees so that rows appear while a search runs.
//
// Folders always sort first: rows 0 .. FolderRowCount()-1 are the shown
// folder's children (RowSource = the child's position among them), the rows
// after them its files (RowSource = the position in its Files).

#include "salvage/search/ResultsTree.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace salvage::ui {

[[nodiscard]] inline bool IsFolderImage(int image) noexcept
{
    return image == kImageFolder || image == kImageDeletedFolder || image == kImageHasDeleted;
}

class TFileListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { ColName, ColSize, ColCondition, ColModified, ColCreated, ColumnCount };
    static constexpr int kSortModeCount = 10;
    static constexpr int kInitialSortMode = 1;  // Name ascending

    explicit TFileListModel(QObject* parent = nullptr);
    ~TFileListModel() override;
    Q_DISABLE_COPY_MOVE(TFileListModel)

    // The list follows these trees while their folders may be shown.
    void Follow(TResultsTree& tree);

    // Makes `folder` the shown folder and fills the list with its contents.
    void SetShownFolder(TTreeNode* folder);
    [[nodiscard]] TTreeNode* ShownFolder() const noexcept { return shown_; }
    void FillList();
    void ClearRows();

    [[nodiscard]] int RowCount() const noexcept { return static_cast<int>(images_.size()); }
    [[nodiscard]] int RowImage(int row) const { return images_.at(static_cast<std::size_t>(row)); }
    [[nodiscard]] int RowSource(int row) const { return sources_.at(static_cast<std::size_t>(row)); }
    [[nodiscard]] const std::string& RowName(int row) const { return names_.at(static_cast<std::size_t>(row)); }
    [[nodiscard]] QString RowText(int row, int column) const;
    [[nodiscard]] bool IsFolderRow(int row) const { return IsFolderImage(RowImage(row)); }
    // The subfolder a folder row shows, or null.
    [[nodiscard]] TTreeNode* FolderAt(int row) const;

    [[nodiscard]] int SortMode() const noexcept { return sortMode_; }
    void SetSortMode(int mode);
    // The click on a column header: the column's ascending mode first (the
    // descending one for Condition, so "Good" comes first), then flips.
    void ColumnClicked(int column);

    // Negative when row a belongs before row b in the current mode.
    [[nodiscard]] int CompareRows(int a, int b) const;

    // Shows the rows appended since the last call and sorts them in. Runs by
    // itself once the current batch of search reports has been applied.
    void ApplyPendingRows();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    class TFollower;
    friend class TFollower;

    void AddRow(int source, int image, TDateTime modified, TDateTime created, std::int64_t size,
                std::uint8_t condition, const std::string& name);
    void AppendFolder(const TTreeNode& node);
    void AppendFile(std::size_t fileIndex);
    void ScheduleApply();
    [[nodiscard]] int FolderRow(const TTreeNode& child) const;
    void UpdateFolderRow(const TTreeNode& child);
    void ForgetTree(const TResultsTree& tree);
    void SortRows(bool notifyViews);
    template <int Mode>
    [[nodiscard]] int CompareIn(std::size_t a, std::size_t b) const;
    template <int Mode>
    void SortOrder(std::vector<int>& order) const;
    void Permute(const std::vector<int>& order);
    void ClearStores();
    void Reserve(std::size_t rows);

    std::vector<std::unique_ptr<TFollower>> followers_;
    TTreeNode* shown_ = nullptr;
    TTreeNode* moveSource_ = nullptr;  // the old parent of a node being moved

    // The seven stores. The condition texts are one of three, kept as
    // their rank in byte order ("" < "Bad" < "Good"). A date text is made
    // the first time its row is shown and kept: a folder of 100,000 files
    // opens without formatting 200,000 dates nobody looks at.
    std::vector<std::string> names_;
    std::vector<QString> sizes_;
    std::vector<std::uint8_t> conditions_;
    mutable std::vector<QString> modified_;
    mutable std::vector<QString> created_;
    std::vector<int> images_;
    std::vector<int> sources_;
    // The dates the texts show, and what the sort reads back from the size
    // and date texts, computed once.
    std::vector<TDateTime> modifiedDates_;
    std::vector<TDateTime> createdDates_;
    std::vector<std::int64_t> sizeKeys_;
    std::vector<std::int64_t> modifiedKeys_;
    std::vector<std::int64_t> createdKeys_;

    int visibleRows_ = 0;  // rows the views have been told about
    bool applyScheduled_ = false;
    int sortMode_ = kInitialSortMode;
    char decimal_ = '.';
};

} // namespace salvage::ui
