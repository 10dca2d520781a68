// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/library.h"

#include <QAbstractItemModel>

#include <functional>
#include <memory>

// Presents the tree of the open library to the tree view. Each index
// carries its node's number; nodes never move, so indexes stay valid as the
// tree grows. The model owns the library, so that views never see a tree
// other than the one it announces.
class LibraryModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit LibraryModel(QObject *parent = nullptr);
    ~LibraryModel() override;

    Library &library() { return *m_library; }
    const Library &library() const { return *m_library; }
    const LibraryTree &tree() const { return m_library->tree(); }

    // Replaces the open library by the one in `folder` and reads its
    // catalogue; views start afresh when the reading ends, also after an
    // error, which goes on to the caller with the tree as far as it was built.
    void openLibrary(const QString &folder);

    // Lets `addChildren` grow the tree under `parent`, which has no
    // children yet, and announces them to views in one step when it ends,
    // also after an error; until then views see `parent` without children.
    void addChildrenAtOnce(LibraryTree::Node parent, const std::function<void()> &addChildren);

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
    std::unique_ptr<Library> m_library;
    // A node whose children are being added and not yet announced.
    LibraryTree::Node m_unannouncedParent = LibraryTree::NoNode;
};
