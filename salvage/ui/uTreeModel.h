#pragma once
// TResultsTreeModel: one results tree (the full one or the filtered copy) as
// a Qt item model. The engine's tree stays the data: the model holds no
// copy, follows the tree's notifications and names each row by its node.

#include "salvage/search/ResultsTree.h"

#include <QAbstractItemModel>

namespace salvage::ui {

class TResultsTreeModel final : public QAbstractItemModel, private TTreeObserver {
    Q_OBJECT
public:
    // `editable`: node texts can be edited in place (the filtered tree),
    // except the root folder's ".", which the recovery recognises it by.
    TResultsTreeModel(TResultsTree& tree, bool editable, QObject* parent = nullptr);
    ~TResultsTreeModel() override;
    Q_DISABLE_COPY_MOVE(TResultsTreeModel)

    [[nodiscard]] TResultsTree& Tree() const noexcept { return tree_; }
    [[nodiscard]] QModelIndex IndexOf(const TTreeNode* node) const;
    [[nodiscard]] static TTreeNode* NodeOf(const QModelIndex& index);

    // False while a node is being moved: the view must not expand then.
    [[nodiscard]] bool ExpansionAllowed() const noexcept { return !moving_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The engine expanded or collapsed a node (the root when a folder is
    // found in it, the filtered copy taking its original's state).
    void expandedChanged(const QModelIndex& index, bool expanded);
    // The whole tree was replaced (cleared, or rebuilt as the filtered copy).
    void treeReset();

private:
    void NodeAboutToBeAdded(TTreeNode* parent, std::size_t row) override;
    void NodeAdded(TTreeNode& node) override;
    void NodeAboutToMove(TTreeNode& node, TTreeNode* newParent, std::size_t destinationRow) override;
    void NodeMoved(TTreeNode& node) override;
    void ImageChanged(TTreeNode& node) override;
    void TextChanged(TTreeNode& node) override;
    void ExpandedChanged(TTreeNode& node) override;
    void AboutToClear() override;
    void Cleared() override;
    void AboutToRebuild() override;
    void Rebuilt() override;

    void RowChanged(TTreeNode& node);

    TResultsTree& tree_;
    bool editable_;
    bool moving_ = false;
    bool resetting_ = false;
    bool rebuilding_ = false;
};

} // namespace salvage::ui
