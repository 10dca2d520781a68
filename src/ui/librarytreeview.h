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

protected:
    // Once a node is selected, one always is: a Ctrl+click or Ctrl+Space on
    // the selected node, which would deselect it, leaves it selected.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override
    {
        const QItemSelectionModel::SelectionFlags command = QTreeView::selectionCommand(index, event);
        if (command.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
            return QItemSelectionModel::NoUpdate;
        return command;
    }
};
