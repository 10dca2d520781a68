#include "librarymodel.h"

LibraryModel::LibraryModel(QObject *parent) : QAbstractItemModel(parent) {}

LibraryTree::Node LibraryModel::node(const QModelIndex &index) const
{
    return index.isValid() ? LibraryTree::Node(index.internalId()) : LibraryTree::NoNode;
}

QModelIndex LibraryModel::indexOf(LibraryTree::Node node) const
{
    if (node == LibraryTree::NoNode)
        return {};
    return createIndex(m_tree.row(node), 0, quintptr(node));
}

QModelIndex LibraryModel::index(int row, int column, const QModelIndex &parent) const
{
    const LibraryTree::Node parentNode = node(parent);
    if (column != 0 || row < 0 || row >= m_tree.childCount(parentNode))
        return {};
    return createIndex(row, 0, quintptr(m_tree.child(parentNode, row)));
}

QModelIndex LibraryModel::parent(const QModelIndex &index) const
{
    return indexOf(index.isValid() ? m_tree.parent(node(index)) : LibraryTree::NoNode);
}

int LibraryModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    return m_tree.childCount(node(parent));
}

int LibraryModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool LibraryModel::hasChildren(const QModelIndex &parent) const
{
    const LibraryTree::Node parentNode = node(parent);
    return m_tree.childCount(parentNode) > 0
           || (parentNode != LibraryTree::NoNode && m_tree.hasChildrenMark(parentNode));
}

QVariant LibraryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return m_tree.text(node(index));
}

Qt::ItemFlags LibraryModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
