#include "salvage/ui/uTreeObservers.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace salvage::ui {
namespace {

// Hands each notification to every registered observer, in order.
class TObserverFan final : public TTreeObserver {
public:
    std::vector<TTreeObserver*> observers;

    void NodeAboutToBeAdded(TTreeNode* parent, std::size_t row) override
    {
        for (auto* o : observers)
            o->NodeAboutToBeAdded(parent, row);
    }
    void NodeAdded(TTreeNode& node) override
    {
        for (auto* o : observers)
            o->NodeAdded(node);
    }
    void NodeAboutToMove(TTreeNode& node, TTreeNode* newParent, std::size_t row) override
    {
        for (auto* o : observers)
            o->NodeAboutToMove(node, newParent, row);
    }
    void NodeMoved(TTreeNode& node) override
    {
        for (auto* o : observers)
            o->NodeMoved(node);
    }
    void ImageChanged(TTreeNode& node) override
    {
        for (auto* o : observers)
            o->ImageChanged(node);
    }
    void TextChanged(TTreeNode& node) override
    {
        for (auto* o : observers)
            o->TextChanged(node);
    }
    void ExpandedChanged(TTreeNode& node) override
    {
        for (auto* o : observers)
            o->ExpandedChanged(node);
    }
    void FileAppended(TTreeNode& node, std::size_t fileIndex) override
    {
        for (auto* o : observers)
            o->FileAppended(node, fileIndex);
    }
    void AboutToClear() override
    {
        for (auto* o : observers)
            o->AboutToClear();
    }
    void Cleared() override
    {
        for (auto* o : observers)
            o->Cleared();
    }
};

std::map<TResultsTree*, std::unique_ptr<TObserverFan>>& Fans()
{
    static std::map<TResultsTree*, std::unique_ptr<TObserverFan>> fans;
    return fans;
}

} // namespace

void Observe(TResultsTree& tree, TTreeObserver* observer)
{
    auto& fan = Fans()[&tree];
    if (!fan)
        fan = std::make_unique<TObserverFan>();
    fan->observers.push_back(observer);
    tree.SetObserver(fan.get());
}

void Unobserve(TResultsTree& tree, TTreeObserver* observer)
{
    const auto it = Fans().find(&tree);
    if (it == Fans().end())
        return;
    auto& list = it->second->observers;
    list.erase(std::remove(list.begin(), list.end(), observer), list.end());
    if (list.empty()) {
        tree.SetObserver(nullptr);
        Fans().erase(it);
    }
}

} // namespace salvage::ui
