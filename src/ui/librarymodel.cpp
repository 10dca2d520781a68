#include "librarymodel.h"

#include <QScopeGuard>

LibraryModel::LibraryModel(QObject *parent)
    : QAbstractItemModel(parent), m_library(std::make_unique<Library>(QStringLiteral(".")))
{}

LibraryModel::~LibraryModel() = default;

void LibraryModel::openLibrary(const QString &folder)
{
    beginResetModel();
    const auto announce = qScopeGuard([this] { endResetModel(); });
    m_unannouncedParent = LibraryTree::NoNode;
    m_library = std::make_unique<Library>(folder);
    m_library->readCatalogue();
}

void LibraryModel::addChildrenAtOnce(LibraryTree::Node parent, const std::function<void()> &addChildren)
{
    m_unannouncedParent = parent;
    const auto announce = qScopeGuard([this, parent] {
        const int count = tree().childCount(parent);
        if (count == 0) {
            m_unannouncedParent = LibraryTree::NoNode;
            return;
        }
        beginInsertRows(indexOf(parent), 0, count - 1);
        m_unannouncedParent = LibraryTree::NoNode;
        endInsertRows();
    });
    addChildren();
}

LibraryTree::Node LibraryModel::node(const QModelIndex &index) const
{
    return index.isValid() ? LibraryTree::Node(index.internalId()) : LibraryTree::NoNode;
}

QModelIndex LibraryModel::indexOf(LibraryTree::Node node) const
{
    if (node == LibraryTree::NoNode)
        return {};
    return createIndex(tree().row(node), 0, quintptr(node));
}

QModelIndex LibraryModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || row >= rowCount(parent))
        return {};
    const LibraryTree::Node parentNode = node(parent);
    return createIndex(row, 0, quintptr(tree().child(parentNode, row)));
}

QModelIndex LibraryModel::parent(const QModelIndex &index) const
{
    return indexOf(index.isValid() ? tree().parent(node(index)) : LibraryTree::NoNode);
}

int LibraryModel::rowCount(const QModelIndex &parent) const
{
    const LibraryTree::Node parentNode = node(parent);
    if (parent.column() > 0 || (parentNode == m_unannouncedParent && parentNode != LibraryTree::NoNode))
        return 0;
    return tree().childCount(parentNode);
}

int LibraryModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool LibraryModel::hasChildren(const QModelIndex &parent) const
{
    const LibraryTree::Node parentNode = node(parent);
    return tree().childCount(parentNode) > 0
           || (parentNode != LibraryTree::NoNode && tree().hasChildrenMark(parentNode));
}

QVariant LibraryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return tree().text(node(index));
}

Qt::ItemFlags LibraryModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
