// SPDX-License-Identifier: GPL-3.0-or-later
#include "librarytreeview.h"

#include <QPainter>

namespace {

// Half the size the lines leave free around an expand button.
constexpr int ButtonHalfSize = 5;

bool hasNextSibling(const QModelIndex &index)
{
    return index.row() + 1 < index.model()->rowCount(index.parent());
}

}  // namespace

QItemSelectionModel::SelectionFlags TLibraryTreeView::selectionCommand(const QModelIndex &index,
                                                                       const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags command = QTreeView::selectionCommand(index, event);
    if (command.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void TLibraryTreeView::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    painter->save();
    QPen pen(palette().color(QPalette::Dark));
    pen.setStyle(Qt::DotLine);
    painter->setPen(pen);
    // The row's own column is the last one; each ancestor's lies one
    // indentation further left.
    int left = rect.right() + 1 - indentation();
    bool own = true;
    for (QModelIndex node = index; node.isValid() && left >= rect.left() - indentation() / 2;
         node = node.parent(), left -= indentation(), own = false)
        drawBranchLines(painter, rect, left, node, own);
    painter->restore();
    QTreeView::drawBranches(painter, rect, index);
}

void TLibraryTreeView::drawBranchLines(QPainter *painter, const QRect &row, int left, const QModelIndex &index,
                                       bool own) const
{
    const int x = left + indentation() / 2;
    const int y = row.center().y();
    const bool button = own && model()->hasChildren(index);
    const int gap = button ? ButtonHalfSize : 0;
    if (!own) {
        // An ancestor with siblings still to come runs its line through the row.
        if (hasNextSibling(index))
            painter->drawLine(x, row.top(), x, row.bottom());
        return;
    }
    const bool first = index.row() == 0 && !index.parent().isValid();
    if (!first)
        painter->drawLine(x, row.top(), x, y - gap);
    if (hasNextSibling(index))
        painter->drawLine(x, y + gap, x, row.bottom());
    painter->drawLine(x + gap, y, left + indentation() - 1, y);
}
