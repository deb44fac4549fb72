#include "salvage/ui/uListModel.h"

#include "salvage/search/SizeText.h"
#include "salvage/ui/Strings.h"
#include "salvage/ui/uArtwork.h"
#include "salvage/ui/uFormat.h"

#include <QTimer>

#include <numeric>

namespace salvage::ui {

// Follows one tree for the list: notifications say what changed, the
// follower knows in which tree.
class TFileListModel::TFollower final : public TTreeObserver {
public:
    TFollower(TFileListModel& list, TResultsTree& tree) : list_(list), tree_(tree) { tree_.AddObserver(this); }
    ~TFollower() override { tree_.RemoveObserver(this); }
    TFollower(const TFollower&) = delete;
    TFollower& operator=(const TFollower&) = delete;

    void NodeAdded(TTreeNode& node) override
    {
        if (list_.shown_ && node.Parent() == list_.shown_)
            list_.AppendFolder(node);
    }
    void NodeAboutToMove(TTreeNode& node, TTreeNode* /*newParent*/, std::size_t /*row*/) override
    {
        list_.moveSource_ = node.Parent();
    }
    void NodeMoved(TTreeNode& node) override
    {
        TTreeNode* from = std::exchange(list_.moveSource_, nullptr);
        if (!list_.shown_)
            return;
        if (from == list_.shown_)
            list_.FillList();  // the positions of the shown folder's children changed
        else if (node.Parent() == list_.shown_)
            list_.AppendFolder(node);
    }
    void ImageChanged(TTreeNode& node) override
    {
        if (list_.shown_ && node.Parent() == list_.shown_)
            list_.UpdateFolderRow(node);
    }
    void TextChanged(TTreeNode& node) override { ImageChanged(node); }
    void DataChanged(TTreeNode& node) override { ImageChanged(node); }
    void FileAppended(TTreeNode& node, std::size_t fileIndex) override
    {
        if (&node == list_.shown_)
            list_.AppendFile(fileIndex);
    }
    void AboutToClear() override { list_.ForgetTree(tree_); }
    void AboutToRebuild() override { list_.ForgetTree(tree_); }

private:
    TFileListModel& list_;
    TResultsTree& tree_;
};

TFileListModel::TFileListModel(QObject* parent) : QAbstractTableModel(parent), decimal_(DecimalSeparator()) {}

TFileListModel::~TFileListModel() = default;

void TFileListModel::Follow(TResultsTree& tree)
{
    followers_.push_back(std::make_unique<TFollower>(*this, tree));
}

void TFileListModel::ClearStores()
{
    names_.clear();
    sizes_.clear();
    conditions_.clear();
    modified_.clear();
    created_.clear();
    images_.clear();
    sources_.clear();
    modifiedDates_.clear();
    createdDates_.clear();
    sizeKeys_.clear();
    modifiedKeys_.clear();
    createdKeys_.clear();
    visibleRows_ = 0;
}

void TFileListModel::Reserve(std::size_t rows)
{
    names_.reserve(rows);
    sizes_.reserve(rows);
    conditions_.reserve(rows);
    modified_.reserve(rows);
    created_.reserve(rows);
    images_.reserve(rows);
    sources_.reserve(rows);
    modifiedDates_.reserve(rows);
    createdDates_.reserve(rows);
    sizeKeys_.reserve(rows);
    modifiedKeys_.reserve(rows);
    createdKeys_.reserve(rows);
}

namespace {

// The condition texts in byte order: "" < "Bad" < "Good".
constexpr std::uint8_t kRankNone = 0;
constexpr std::uint8_t kRankBad = 1;
constexpr std::uint8_t kRankGood = 2;

std::uint8_t ConditionRank(std::uint8_t condition)
{
    return condition == kGood ? kRankGood : condition == kPoor ? kRankBad : kRankNone;
}

QString ConditionText(std::uint8_t rank)
{
    return rank == kRankGood ? QString::fromUtf8(text::kConditionGood)
         : rank == kRankBad  ? QString::fromUtf8(text::kConditionBad)
                             : QString();
}

} // namespace

void TFileListModel::ClearRows()
{
    beginResetModel();
    ClearStores();
    endResetModel();
}

void TFileListModel::SetShownFolder(TTreeNode* folder)
{
    shown_ = folder;
    FillList();
}

void TFileListModel::ForgetTree(const TResultsTree& tree)
{
    if (shown_ && &shown_->Owner() == &tree) {
        shown_ = nullptr;
        ClearRows();
    }
}

void TFileListModel::AddRow(int source, int image, TDateTime modified, TDateTime created, std::int64_t size,
                            std::uint8_t condition, const std::string& name)
{
    const std::string sizeText = FormatSize(size, decimal_);
    names_.push_back(name);
    sizes_.push_back(QString::fromStdString(sizeText));
    conditions_.push_back(ConditionRank(condition));
    modified_.emplace_back();
    created_.emplace_back();
    images_.push_back(image);
    sources_.push_back(source);
    modifiedDates_.push_back(modified);
    createdDates_.push_back(created);
    sizeKeys_.push_back(ParseSize(sizeText, decimal_));
    modifiedKeys_.push_back(DateKey(modified));
    createdKeys_.push_back(DateKey(created));
}

void TFileListModel::FillList()
{
    beginResetModel();
    ClearStores();
    if (shown_) {
        Reserve(shown_->ChildCount() + shown_->Data().Files.size());
        int position = 0;
        for (const TTreeNode* child = shown_->FirstChild(); child; child = child->NextSibling(), ++position)
            AddRow(position, child->ImageIndex(), child->Data().Modified, child->Data().Created, -1, kNotAssessed,
                   child->Text());
        const auto& files = shown_->Data().Files;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const TFileInfo& f = files[i];
            AddRow(static_cast<int>(i), f.Deleted ? kImageDeletedFile : kImageFile, f.Modified, f.Created,
                   static_cast<std::int64_t>(f.Size), f.Condition, f.Name);
        }
        visibleRows_ = RowCount();
        SortRows(false);
    }
    endResetModel();
}

void TFileListModel::AppendFolder(const TTreeNode& node)
{
    const int position = static_cast<int>(node.Index());
    // The new sibling moved the ones at and after its place.
    for (std::size_t r = 0; r < images_.size(); ++r)
        if (IsFolderImage(images_[r]) && sources_[r] >= position)
            ++sources_[r];
    AddRow(position, node.ImageIndex(), node.Data().Modified, node.Data().Created, -1, kNotAssessed, node.Text());
    ScheduleApply();
}

void TFileListModel::AppendFile(std::size_t fileIndex)
{
    const TFileInfo& f = shown_->Data().Files.at(fileIndex);
    AddRow(static_cast<int>(fileIndex), f.Deleted ? kImageDeletedFile : kImageFile, f.Modified, f.Created,
           static_cast<std::int64_t>(f.Size), f.Condition, f.Name);
    ScheduleApply();
}

void TFileListModel::ScheduleApply()
{
    // One sort per batch of reports, not one per record: the batch is applied
    // in one go on this thread, and the timer fires after it.
    if (applyScheduled_)
        return;
    applyScheduled_ = true;
    QTimer::singleShot(0, this, &TFileListModel::ApplyPendingRows);
}

void TFileListModel::ApplyPendingRows()
{
    applyScheduled_ = false;
    if (RowCount() <= visibleRows_)
        return;
    beginInsertRows({}, visibleRows_, RowCount() - 1);
    visibleRows_ = RowCount();
    endInsertRows();
    SortRows(true);
}

int TFileListModel::FolderRow(const TTreeNode& child) const
{
    const int position = static_cast<int>(child.Index());
    for (std::size_t r = 0; r < images_.size(); ++r)
        if (IsFolderImage(images_[r]) && sources_[r] == position)
            return static_cast<int>(r);
    return -1;
}

void TFileListModel::UpdateFolderRow(const TTreeNode& child)
{
    const int row = FolderRow(child);
    if (row < 0)
        return;
    const auto r = static_cast<std::size_t>(row);
    images_[r] = child.ImageIndex();
    names_[r] = child.Text();
    if (modifiedDates_[r] != child.Data().Modified || createdDates_[r] != child.Data().Created) {
        modifiedDates_[r] = child.Data().Modified;
        createdDates_[r] = child.Data().Created;
        modifiedKeys_[r] = DateKey(modifiedDates_[r]);
        createdKeys_[r] = DateKey(createdDates_[r]);
        modified_[r].clear();
        created_[r].clear();
    }
    if (row < visibleRows_)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

TTreeNode* TFileListModel::FolderAt(int row) const
{
    if (!shown_ || row < 0 || row >= RowCount() || !IsFolderRow(row))
        return nullptr;
    return shown_->Child(static_cast<std::size_t>(RowSource(row)));
}

QString TFileListModel::RowText(int row, int column) const
{
    const auto r = static_cast<std::size_t>(row);
    switch (column) {
    case ColName: return QString::fromStdString(names_.at(r));
    case ColSize: return sizes_.at(r);
    case ColCondition: return ConditionText(conditions_.at(r));
    case ColModified:
        if (modified_.at(r).isNull())
            modified_[r] = DateText(modifiedDates_[r]);
        return modified_[r];
    case ColCreated:
        if (created_.at(r).isNull())
            created_[r] = DateText(createdDates_[r]);
        return created_[r];
    default: return {};
    }
}

// --- Sorting ----------------------------------------------------------------

template <int Mode>
int TFileListModel::CompareIn(std::size_t ia, std::size_t ib) const
{
    const bool folderA = IsFolderImage(images_[ia]);
    const bool folderB = IsFolderImage(images_[ib]);
    const auto order = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };

    // Negative: a goes first by the mode's key.
    int key = 0;
    if constexpr (Mode == 0)
        key = -CompareUpper(names_[ia], names_[ib]);
    else if constexpr (Mode == 2 || Mode == 3) {
        // Two folders have no size: they go by name.
        if (!(folderA && folderB))
            key = Mode == 2 ? order(sizeKeys_[ib], sizeKeys_[ia]) : order(sizeKeys_[ia], sizeKeys_[ib]);
    } else if constexpr (Mode == 4)
        key = order(conditions_[ia], conditions_[ib]);
    else if constexpr (Mode == 5)
        key = order(conditions_[ib], conditions_[ia]);
    else if constexpr (Mode == 6)
        key = order(modifiedKeys_[ib], modifiedKeys_[ia]);
    else if constexpr (Mode == 7)
        key = order(modifiedKeys_[ia], modifiedKeys_[ib]);
    else if constexpr (Mode == 8)
        key = order(createdKeys_[ib], createdKeys_[ia]);
    else if constexpr (Mode == 9)
        key = order(createdKeys_[ia], createdKeys_[ib]);
    if constexpr (Mode != 0)
        if (key == 0)
            key = CompareUpper(names_[ia], names_[ib]);

    // Folders rank 2, files 0; the row the key puts first gains 1.
    int rankA = folderA ? 2 : 0;
    int rankB = folderB ? 2 : 0;
    if (key < 0)
        ++rankA;
    else if (key > 0)
        ++rankB;
    return rankB - rankA;
}

int TFileListModel::CompareRows(int a, int b) const
{
    const auto ia = static_cast<std::size_t>(a);
    const auto ib = static_cast<std::size_t>(b);
    switch (sortMode_) {
    case 0: return CompareIn<0>(ia, ib);
    case 2: return CompareIn<2>(ia, ib);
    case 3: return CompareIn<3>(ia, ib);
    case 4: return CompareIn<4>(ia, ib);
    case 5: return CompareIn<5>(ia, ib);
    case 6: return CompareIn<6>(ia, ib);
    case 7: return CompareIn<7>(ia, ib);
    case 8: return CompareIn<8>(ia, ib);
    case 9: return CompareIn<9>(ia, ib);
    default: return CompareIn<1>(ia, ib);
    }
}

namespace {

// The classic quicksort with the pivot followed through the exchanges.
// Sorting the smaller part first and looping on the larger gives the same
// result (the parts are independent) with a bounded depth.
template <class Compare>
void QuickSort(std::vector<int>& order, int low, int high, const Compare& compareRows)
{
    const auto compare = [&](int i, int p) {
        return compareRows(static_cast<std::size_t>(order[static_cast<std::size_t>(i)]),
                           static_cast<std::size_t>(order[static_cast<std::size_t>(p)]));
    };
    while (low < high) {
        int i = low;
        int j = high;
        int p = static_cast<int>((static_cast<unsigned>(low) + static_cast<unsigned>(high)) >> 1);
        do {
            while (compare(i, p) < 0)
                ++i;
            while (compare(j, p) > 0)
                --j;
            if (i <= j) {
                std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(j)]);
                if (p == i)
                    p = j;
                else if (p == j)
                    p = i;
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - low < high - i) {
            if (low < j)
                QuickSort(order, low, j, compareRows);
            low = i;
        } else {
            if (i < high)
                QuickSort(order, i, high, compareRows);
            high = j;
        }
    }
}

} // namespace

template <int Mode>
void TFileListModel::SortOrder(std::vector<int>& order) const
{
    QuickSort(order, 0, static_cast<int>(order.size()) - 1,
              [this](std::size_t a, std::size_t b) { return CompareIn<Mode>(a, b); });
}

void TFileListModel::Permute(const std::vector<int>& order)
{
    const auto apply = [&order](auto& store) {
        std::remove_reference_t<decltype(store)> sorted;
        sorted.reserve(store.size());
        for (int from : order)
            sorted.push_back(std::move(store[static_cast<std::size_t>(from)]));
        store.swap(sorted);
    };
    apply(names_);
    apply(sizes_);
    apply(conditions_);
    apply(modified_);
    apply(created_);
    apply(images_);
    apply(sources_);
    apply(modifiedDates_);
    apply(createdDates_);
    apply(sizeKeys_);
    apply(modifiedKeys_);
    apply(createdKeys_);
}

void TFileListModel::SortRows(bool notifyViews)
{
    const int count = RowCount();
    if (count < 2)
        return;
    std::vector<int> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    switch (sortMode_) {
    case 0: SortOrder<0>(order); break;
    case 2: SortOrder<2>(order); break;
    case 3: SortOrder<3>(order); break;
    case 4: SortOrder<4>(order); break;
    case 5: SortOrder<5>(order); break;
    case 6: SortOrder<6>(order); break;
    case 7: SortOrder<7>(order); break;
    case 8: SortOrder<8>(order); break;
    case 9: SortOrder<9>(order); break;
    default: SortOrder<1>(order); break;
    }

    if (!notifyViews) {
        Permute(order);
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    Permute(order);
    // The selection and the current row follow their rows.
    std::vector<int> newRow(order.size());
    for (std::size_t to = 0; to < order.size(); ++to)
        newRow[static_cast<std::size_t>(order[to])] = static_cast<int>(to);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.push_back(old.row() < count ? index(newRow[static_cast<std::size_t>(old.row())], old.column())
                                          : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TFileListModel::SetSortMode(int mode)
{
    if (mode == sortMode_ || mode < 0 || mode >= kSortModeCount)
        return;
    const int oldColumn = sortMode_ / 2;
    sortMode_ = mode;
    emit headerDataChanged(Qt::Horizontal, std::min(oldColumn, mode / 2), std::max(oldColumn, mode / 2));
    SortRows(true);
}

void TFileListModel::ColumnClicked(int column)
{
    if (column < 0 || column >= ColumnCount)
        return;
    const int even = 2 * column;
    SetSortMode(sortMode_ == even ? even + 1 : sortMode_ == even + 1 ? even : even + 1);
}

// --- The view's side ----------------------------------------------------------

int TFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : visibleRows_;
}

int TFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= visibleRows_)
        return {};
    switch (role) {
    case Qt::DisplayRole: return RowText(index.row(), index.column());
    case Qt::DecorationRole:
        if (index.column() == ColName)
            return FileImage(RowImage(index.row()));
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == ColSize)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default: return {};
    }
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole) {
        static const char* const captions[ColumnCount] = {text::kColumnName, text::kColumnSize,
                                                          text::kColumnCondition, text::kColumnModified,
                                                          text::kColumnCreated};
        return QString::fromUtf8(captions[section]);
    }
    if (role == Qt::DecorationRole && section == sortMode_ / 2)
        return FileImage(sortMode_ % 2 == 0 ? 5 : 6);
    return {};
}

} // namespace salvage::ui
