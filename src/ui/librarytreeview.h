#pragma once

#include <QTreeView>

// The library tree's view. A tree search expands thousands of nodes while
// the view does not redraw; deferring the view's layout until the search
// ends makes each expansion cost only the recording of its state.
class TLibraryTreeView : public QTreeView
{
    Q_OBJECT

public:
    using QTreeView::QTreeView;

    // Lays the items out afresh at the next need, not at every expansion.
    void deferLayout() { scheduleDelayedItemsLayout(); }
};
