#pragma once

#include <QString>
#include <optional>
#include <vector>

// The object a book node or a contents node carries: for a book node the
// book's directory name, for a contents node the full path of its page.
class TExtInfoLib
{
public:
    explicit TExtInfoLib(QString path) : FPath(std::move(path)) {}

    QString FPath;
};

// The node store of the library tree: authors at level 0, their books at
// level 1, contents below. Nodes are numbered in the order they are added
// and are never removed while the tree lives; each keeps its children in the
// order they were added.
class LibraryTree
{
public:
    using Node = int;
    static constexpr Node NoNode = -1;

    void clear();
    qsizetype size() const { return qsizetype(m_nodes.size()); }

    // Adds a node at the end of the root level.
    Node addRoot(const QString &text);
    // Adds a node as the last child of `parent`.
    Node addChild(Node parent, const QString &text, std::optional<TExtInfoLib> info);
    // The has-children mark makes a node show an expand button before it
    // has children.
    void setHasChildrenMark(Node node, bool mark);
    bool hasChildrenMark(Node node) const { return at(node).hasChildrenMark; }

    const QString &text(Node node) const { return at(node).text; }
    const TExtInfoLib *info(Node node) const;
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
    struct NodeData
    {
        QString text;
        std::optional<TExtInfoLib> info;
        std::vector<Node> children;
        Node parent = NoNode;
        int row = 0;
        bool hasChildrenMark = false;
    };

    const NodeData &at(Node node) const { return m_nodes[size_t(node)]; }
    const std::vector<Node> &children(Node parent) const;
    Node add(Node parent, const QString &text, std::optional<TExtInfoLib> info);

    std::vector<NodeData> m_nodes;
    std::vector<Node> m_roots;
};
