#pragma once
// Registers the views that follow a results tree (the tree model and the
// list both follow it).

#include "salvage/search/ResultsTree.h"

namespace salvage::ui {

void Observe(TResultsTree& tree, TTreeObserver* observer);
void Unobserve(TResultsTree& tree, TTreeObserver* observer);

} // namespace salvage::ui
