// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "textarena.h"

#include <QString>
#include <QStringView>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

// The object a book node or a contents node carries: for a book node the
// book's directory name, for a contents node the path of its page relative
// to the library folder.
class TExtInfoLib
{
public:
    explicit TExtInfoLib(QString path) : FPath(std::move(path)) {}

    QString FPath;
};

// The directory of the book whose PATH is `bookPath`, as the library builds
// it relative to its folder: "Library", a backslash, the PATH and a backslash.
QString bookDirectory(const QString &bookPath);

// The node store of the library tree: authors at level 0, their books at
// level 1, contents below. Nodes are numbered in the order they are added
// and are never removed while the tree lives; each keeps its children in the
// order they were added.
//
// A library can have a million contents entries, so an entry keeps only its
// page's name within the book directory; its full path is put together when
// asked for.
class LibraryTree
{
public:
    using Node = int;
    static constexpr Node NoNode = -1;

    qsizetype size() const { return qsizetype(m_nodes.size()); }

    // Adds a node at the end of the root level.
    Node addRoot(const QString &text);
    // Adds a node as the last child of `parent`.
    Node addChild(Node parent, const QString &text, std::optional<TExtInfoLib> info);
    // Adds a book with its PATH as the last child of `author`, marked as
    // having children.
    Node addBook(Node author, QStringView label, QStringView bookPath);
    // Adds a contents entry as the last child of `parent`, a book or an
    // entry of it; its page is `local` in the book's directory.
    Node addEntry(Node parent, QStringView text, QStringView local);
    // The has-children mark makes a node show an expand button before it
    // has children.
    void setHasChildrenMark(Node node, bool mark);
    bool hasChildrenMark(Node node) const { return at(node).hasChildrenMark; }

    QString text(Node node) const { return textView(node).toString(); }
    QStringView textView(Node node) const { return m_texts.view(at(node).text); }
    // The object of a book node (its PATH) or of a contents entry (the path
    // of its page in the library folder); none for an author node.
    std::optional<TExtInfoLib> info(Node node) const;
    Node parent(Node node) const { return at(node).parent; }
    int level(Node node) const;
    // The position of `node` among its parent's children (or the roots).
    int row(Node node) const { return at(node).row; }

    // Children of `parent`; NoNode stands for the root level.
    int childCount(Node parent) const { return int(children(parent).size()); }
    Node child(Node parent, int row) const { return children(parent)[size_t(row)]; }

    // The node after `node` in pre-order over the whole tree, or NoNode.
    Node nextInPreorder(Node node) const;
    Node firstRoot() const { return m_roots.empty() ? NoNode : m_roots.front(); }

    // The node caption: the texts from the author down to `node` joined by
    // " | ", leaving out a text that equals everything gathered below it.
    QString caption(Node node) const;

private:
    enum class PathKind : char { None, Own, InBook };

    struct NodeData
    {
        TextArena::Ref text;
        TextArena::Ref path;  // FPath itself, or the page's name in the book directory
        std::vector<Node> children;
        Node parent = NoNode;
        int row = 0;
        PathKind pathKind = PathKind::None;
        bool hasChildrenMark = false;
    };

    const NodeData &at(Node node) const { return m_nodes[size_t(node)]; }
    const std::vector<Node> &children(Node parent) const;
    Node add(Node parent, QStringView text, QStringView path, PathKind pathKind);

    std::deque<NodeData> m_nodes;  // grows without moving what it holds
    TextArena m_texts;
    std::vector<Node> m_roots;
};
