#pragma once

#include "core/librarytree.h"

#include <QAbstractItemModel>

#include <functional>

// Presents the library's node store to the tree view. Each index carries its
// node's number; nodes never move, so indexes stay valid as the tree grows.
class LibraryModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit LibraryModel(QObject *parent = nullptr);

    const LibraryTree &tree() const { return m_tree; }

    // Changes the store in bulk, for building the first levels: views are
    // told to start afresh when the change ends, also after an error.
    template <typename Change>
    void rebuild(Change &&change)
    {
        beginResetModel();
        try {
            change(m_tree);
        } catch (...) {
            endResetModel();
            throw;
        }
        endResetModel();
    }

    // Lets `addChildren` grow the store under `parent`, which has no
    // children yet, and announces them to views in one step when it ends,
    // also after an error; until then views see `parent` without children.
    void addChildrenAtOnce(LibraryTree::Node parent, const std::function<void(LibraryTree &)> &addChildren);

    LibraryTree::Node node(const QModelIndex &index) const;
    QModelIndex indexOf(LibraryTree::Node node) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    LibraryTree m_tree;
    LibraryTree::Node m_unannouncedParent = LibraryTree::NoNode;
};
