// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "textarena.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>
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

    qsizetype size() const { return m_size; }

    // Adds a node at the end of the root level.
    Node addRoot(const QString &text);
    // Adds a node as the last child of `parent`.
    Node addChild(Node parent, const QString &text, std::optional<TExtInfoLib> info);
    // Adds a book with its PATH as the last child of `author`, marked as
    // having children.
    Node addBook(Node author, QStringView label, QStringView bookPath);
    // Adds a contents entry as the last child of `parent`, a book or an
    // entry of it; its page is `local` in the book's directory. Both are in
    // the library's code page: the text is decoded straight into the tree's
    // store, and the page's name is kept in its bytes, which take half the
    // room, and decoded when asked for.
    Node addEntry(Node parent, QByteArrayView text, QByteArrayView local);
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
    int childCount(Node parent) const { return children(parent).count; }
    Node child(Node parent, int row) const { return m_childPool[children(parent).start + quint32(row)]; }

    // The node after `node` in pre-order over the whole tree, or NoNode.
    Node nextInPreorder(Node node) const;
    Node firstRoot() const { return m_roots.count == 0 ? NoNode : m_childPool[m_roots.start]; }

    // The node caption: the texts from the author down to `node` joined by
    // " | ", leaving out a text that equals everything gathered below it.
    QString caption(Node node) const;

private:
    enum class PathKind : char { None, Own, InBook };

    // A node's children: a run of slots in the shared child pool, so that a
    // node costs no allocation of its own. A full run at the pool's end grows
    // in place; any other full run moves to the end with twice the room, and
    // the slots it leaves are not used again. Most nodes have no children,
    // so the runs are kept apart from the nodes, which only number theirs.
    struct ChildRun
    {
        quint32 start = 0;
        int count = 0;
        int capacity = 0;
    };

    static constexpr int NoRun = -1;

    struct NodeData
    {
        TextArena::Ref text;
        TextArena::Ref path;   // FPath itself, or the bytes of the page's name in the book directory
        int childRun = NoRun;  // in m_childRuns
        Node parent = NoNode;
        int row = 0;
        PathKind pathKind = PathKind::None;
        bool hasChildrenMark = false;
    };

    // Nodes are kept in chunks that never move, so that a large tree grows
    // without copying it or holding it twice.
    static constexpr int ChunkBits = 12;
    static constexpr Node ChunkMask = (1 << ChunkBits) - 1;

    const NodeData &at(Node node) const { return m_chunks[size_t(node >> ChunkBits)][node & ChunkMask]; }
    NodeData &at(Node node) { return m_chunks[size_t(node >> ChunkBits)][node & ChunkMask]; }
    const ChildRun &children(Node parent) const
    {
        static constexpr ChildRun None;
        if (parent == NoNode)
            return m_roots;
        const int run = at(parent).childRun;
        return run == NoRun ? None : m_childRuns[size_t(run)];
    }
    // The run of `parent`'s children, made for its first child.
    ChildRun &childrenToAppendTo(Node parent);
    Node add(Node parent, TextArena::Ref text, TextArena::Ref path, PathKind pathKind);
    void appendChild(ChildRun &run, Node child);

    std::vector<std::unique_ptr<NodeData[]>> m_chunks;
    Node m_size = 0;
    TextArena m_texts;
    // Every run of children; with a 32-bit start it holds 4G slots, which
    // the nodes' own memory reaches long before.
    std::vector<Node> m_childPool;
    std::vector<ChildRun> m_childRuns;
    ChildRun m_roots;
};
