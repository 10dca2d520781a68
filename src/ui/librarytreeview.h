// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTreeView>

// The library tree's view: expand buttons with dotted connecting lines at
// every level, the root level too, and a selection that is never cleared.
//
// A tree search expands thousands of nodes while the view does not redraw;
// deferring the view's layout until the search ends makes each expansion
// cost only the recording of its state.
class TLibraryTreeView : public QTreeView
{
    Q_OBJECT

public:
    using QTreeView::QTreeView;

    // Lays the items out afresh at the next need, not at every expansion.
    void deferLayout() { scheduleDelayedItemsLayout(); }

protected:
    // Once a node is selected, one always is: a Ctrl+click or Ctrl+Space on
    // the selected node, which would deselect it, leaves it selected.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    // Draws the connecting lines under the style's expand buttons.
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;

private:
    // Draws the lines of the indentation column that starts at `left` for
    // `index`, the row's own node when `own`, an ancestor otherwise.
    void drawBranchLines(QPainter *painter, const QRect &row, int left, const QModelIndex &index, bool own) const;
};
