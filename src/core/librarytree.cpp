#include "librarytree.h"

void LibraryTree::clear()
{
    m_nodes.clear();
    m_roots.clear();
}

const std::vector<LibraryTree::Node> &LibraryTree::children(Node parent) const
{
    return parent == NoNode ? m_roots : at(parent).children;
}

LibraryTree::Node LibraryTree::add(Node parent, const QString &text, std::optional<TExtInfoLib> info)
{
    const Node node = Node(m_nodes.size());
    const int row = childCount(parent);
    m_nodes.push_back(NodeData{text, std::move(info), {}, parent, row, false});
    // Only now: the push may have moved the parent's child list.
    (parent == NoNode ? m_roots : m_nodes[size_t(parent)].children).push_back(node);
    return node;
}

LibraryTree::Node LibraryTree::addRoot(const QString &text)
{
    return add(NoNode, text, std::nullopt);
}

LibraryTree::Node LibraryTree::addChild(Node parent, const QString &text, std::optional<TExtInfoLib> info)
{
    return add(parent, text, std::move(info));
}

void LibraryTree::setHasChildrenMark(Node node, bool mark)
{
    m_nodes[size_t(node)].hasChildrenMark = mark;
}

const TExtInfoLib *LibraryTree::info(Node node) const
{
    const std::optional<TExtInfoLib> &info = at(node).info;
    return info ? &*info : nullptr;
}

int LibraryTree::level(Node node) const
{
    int level = 0;
    for (Node up = parent(node); up != NoNode; up = parent(up))
        ++level;
    return level;
}

LibraryTree::Node LibraryTree::nextInPreorder(Node node) const
{
    if (!at(node).children.empty())
        return at(node).children.front();
    for (Node current = node; current != NoNode; current = parent(current)) {
        const std::vector<Node> &siblings = children(parent(current));
        const size_t next = size_t(row(current)) + 1;
        if (next < siblings.size())
            return siblings[next];
    }
    return NoNode;
}

QString LibraryTree::caption(Node node) const
{
    QString caption;
    for (Node current = node; current != NoNode; current = parent(current)) {
        const QString &nodeText = text(current);
        if (nodeText == caption)
            continue;
        caption = caption.isEmpty() ? nodeText : nodeText + QStringLiteral(" | ") + caption;
    }
    return caption;
}
