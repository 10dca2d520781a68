// SPDX-License-Identifier: GPL-3.0-or-later
#include "librarymodel.h"

#include <QScopeGuard>

LibraryModel::LibraryModel(QObject *parent)
    : QAbstractItemModel(parent),
      m_library(std::make_unique<Library>(QStringLiteral(".")))
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

namespace {

// The tree view keeps its expanded nodes in a hash of persistent indexes,
// and Qt hashes an index as (row << 4) + column + internalId without mixing
// the bits. With dense node numbers as ids, the hashes of the expanded nodes
// of a large tree fall in long runs, and every look-up in the view's
// open-addressing table probes thousands of slots (a fruitless Find over a
// million nodes spent two thirds of its time there). An index therefore
// carries its node number scrambled by a reversible mix: a multiplication
// by an odd constant, which is invertible modulo 2^64, and a rotation.
static_assert(sizeof(quintptr) == sizeof(quint64), "the mix is reversible in 64 bits");
constexpr quint64 MixFactor = 0x9E3779B97F4A7C15ull;
constexpr int MixRotation = 29;

// The inverse of an odd number modulo 2^64, by Newton's iteration.
constexpr quint64 inverseModulo64(quint64 odd)
{
    quint64 inverse = odd;  // correct to 3 bits; each step doubles them
    for (int step = 0; step < 5; ++step)
        inverse *= 2 - odd * inverse;
    return inverse;
}
constexpr quint64 MixInverse = inverseModulo64(MixFactor);
static_assert(MixFactor * MixInverse == 1);

constexpr quint64 rotateLeft(quint64 value, int bits)
{
    return (value << bits) | (value >> (64 - bits));
}

constexpr quintptr mixedId(LibraryTree::Node node)
{
    return quintptr(rotateLeft(quint64(node) * MixFactor, MixRotation));
}

constexpr LibraryTree::Node nodeOfId(quintptr id)
{
    return LibraryTree::Node(rotateLeft(quint64(id), 64 - MixRotation) * MixInverse);
}
static_assert(nodeOfId(mixedId(0)) == 0 && nodeOfId(mixedId(123456789)) == 123456789);

}  // namespace

LibraryTree::Node LibraryModel::node(const QModelIndex &index) const
{
    return index.isValid() ? nodeOfId(index.internalId()) : LibraryTree::NoNode;
}

QModelIndex LibraryModel::indexOf(LibraryTree::Node node) const
{
    if (node == LibraryTree::NoNode)
        return {};
    return createIndex(tree().row(node), 0, mixedId(node));
}

QModelIndex LibraryModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || row >= rowCount(parent))
        return {};
    const LibraryTree::Node parentNode = node(parent);
    return createIndex(row, 0, mixedId(tree().child(parentNode, row)));
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
