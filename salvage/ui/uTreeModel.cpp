#include "salvage/ui/uTreeModel.h"

#include "salvage/search/FoundFileModel.h"
#include "salvage/ui/uArtwork.h"

namespace salvage::ui {

TResultsTreeModel::TResultsTreeModel(TResultsTree& tree, bool editable, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), editable_(editable)
{
    tree_.AddObserver(this);
}

TResultsTreeModel::~TResultsTreeModel()
{
    tree_.RemoveObserver(this);
}

QModelIndex TResultsTreeModel::IndexOf(const TTreeNode* node) const
{
    if (!node)
        return {};
    return createIndex(static_cast<int>(node->Index()), 0, const_cast<TTreeNode*>(node));
}

TTreeNode* TResultsTreeModel::NodeOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<TTreeNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TResultsTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column != 0 || resetting_)
        return {};
    const TTreeNode* parentNode = NodeOf(parent);
    TTreeNode* node = parentNode ? parentNode->Child(static_cast<std::size_t>(row))
                                 : tree_.TopLevel(static_cast<std::size_t>(row));
    return node ? createIndex(row, 0, node) : QModelIndex();
}

QModelIndex TResultsTreeModel::parent(const QModelIndex& child) const
{
    const TTreeNode* node = NodeOf(child);
    return node ? IndexOf(node->Parent()) : QModelIndex();
}

int TResultsTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0 || resetting_)
        return 0;
    const TTreeNode* node = NodeOf(parent);
    return static_cast<int>(node ? node->ChildCount() : tree_.TopLevelCount());
}

int TResultsTreeModel::columnCount(const QModelIndex& /*parent*/) const
{
    return 1;
}

bool TResultsTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant TResultsTreeModel::data(const QModelIndex& index, int role) const
{
    const TTreeNode* node = NodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return QString::fromStdString(node->Text());
    case Qt::DecorationRole: return FileImage(node->ImageIndex());
    default: return {};
    }
}

bool TResultsTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TTreeNode* node = NodeOf(index);
    if (!node || role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const QString text = value.toString().trimmed();
    // A folder needs a name to be recovered under.
    if (text.isEmpty())
        return false;
    tree_.SetText(*node, text.toStdString());
    return true;
}

Qt::ItemFlags TResultsTreeModel::flags(const QModelIndex& index) const
{
    const TTreeNode* node = NodeOf(index);
    if (!node)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable_ && node->Text() != kRootText)
        f |= Qt::ItemIsEditable;
    return f;
}

void TResultsTreeModel::NodeAboutToBeAdded(TTreeNode* parent, std::size_t row)
{
    if (resetting_)
        return;
    beginInsertRows(IndexOf(parent), static_cast<int>(row), static_cast<int>(row));
}

void TResultsTreeModel::NodeAdded(TTreeNode& /*node*/)
{
    if (!resetting_)
        endInsertRows();
}

void TResultsTreeModel::NodeAboutToMove(TTreeNode& node, TTreeNode* newParent, std::size_t destinationRow)
{
    if (resetting_)
        return;
    const int row = static_cast<int>(node.Index());
    moving_ = true;
    beginMoveRows(IndexOf(node.Parent()), row, row, IndexOf(newParent), static_cast<int>(destinationRow));
}

void TResultsTreeModel::NodeMoved(TTreeNode& /*node*/)
{
    if (resetting_)
        return;
    endMoveRows();
    moving_ = false;
}

void TResultsTreeModel::RowChanged(TTreeNode& node)
{
    if (resetting_)
        return;
    const QModelIndex index = IndexOf(&node);
    emit dataChanged(index, index);
}

void TResultsTreeModel::ImageChanged(TTreeNode& node)
{
    RowChanged(node);
}

void TResultsTreeModel::TextChanged(TTreeNode& node)
{
    RowChanged(node);
}

void TResultsTreeModel::ExpandedChanged(TTreeNode& node)
{
    if (!resetting_)
        emit expandedChanged(IndexOf(&node), node.Expanded());
}

void TResultsTreeModel::AboutToClear()
{
    if (rebuilding_)
        return;
    beginResetModel();
    resetting_ = true;
}

void TResultsTreeModel::Cleared()
{
    if (rebuilding_)
        return;
    resetting_ = false;
    endResetModel();
    emit treeReset();
}

void TResultsTreeModel::AboutToRebuild()
{
    // One reset for the whole copy instead of a signal per node.
    beginResetModel();
    resetting_ = true;
    rebuilding_ = true;
}

void TResultsTreeModel::Rebuilt()
{
    rebuilding_ = false;
    resetting_ = false;
    endResetModel();
    emit treeReset();
}

} // namespace salvage::ui
