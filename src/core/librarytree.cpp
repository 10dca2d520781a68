// SPDX-License-Identifier: GPL-3.0-or-later
#include "librarytree.h"

#include <algorithm>

QString bookDirectory(const QString &bookPath)
{
    return QStringLiteral("Library") + QLatin1Char('\\') + bookPath + QLatin1Char('\\');
}

const std::vector<LibraryTree::Node> &LibraryTree::children(Node parent) const
{
    return parent == NoNode ? m_roots : at(parent).children;
}

LibraryTree::Node LibraryTree::add(Node parent, QStringView text, QStringView path, PathKind pathKind)
{
    const Node node = Node(m_nodes.size());
    m_nodes.push_back(NodeData{m_texts.add(text), m_texts.add(path), {}, parent, childCount(parent), pathKind, false});
    (parent == NoNode ? m_roots : m_nodes[size_t(parent)].children).push_back(node);
    return node;
}

LibraryTree::Node LibraryTree::addRoot(const QString &text)
{
    return add(NoNode, text, {}, PathKind::None);
}

LibraryTree::Node LibraryTree::addChild(Node parent, const QString &text, std::optional<TExtInfoLib> info)
{
    return info ? add(parent, text, info->FPath, PathKind::Own) : add(parent, text, {}, PathKind::None);
}

LibraryTree::Node LibraryTree::addBook(Node author, QStringView label, QStringView bookPath)
{
    const Node book = add(author, label, bookPath, PathKind::Own);
    setHasChildrenMark(book, true);
    return book;
}

LibraryTree::Node LibraryTree::addEntry(Node parent, QStringView text, QStringView local)
{
    return add(parent, text, local, PathKind::InBook);
}

void LibraryTree::setHasChildrenMark(Node node, bool mark)
{
    m_nodes[size_t(node)].hasChildrenMark = mark;
}

std::optional<TExtInfoLib> LibraryTree::info(Node node) const
{
    const NodeData &data = at(node);
    switch (data.pathKind) {
    case PathKind::Own: return TExtInfoLib(m_texts.view(data.path).toString());
    case PathKind::InBook: {
        Node book = data.parent;
        while (at(book).pathKind == PathKind::InBook)
            book = at(book).parent;
        QString path = bookDirectory(m_texts.view(at(book).path).toString());
        path += m_texts.view(data.path);
        return TExtInfoLib(path);
    }
    case PathKind::None: break;
    }
    return std::nullopt;
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

// The caption grows from its end towards its start inside one buffer that
// has room for every text on the way up, so a node nested a hundred thousand
// levels deep costs time in proportion to its caption, not to its square.
QString LibraryTree::caption(Node node) const
{
    static constexpr QStringView Separator = u" | ";
    qsizetype room = 0;
    for (Node current = node; current != NoNode; current = parent(current))
        room += textView(current).size() + Separator.size();
    QString buffer(room, Qt::Uninitialized);
    qsizetype start = room;  // the caption gathered so far is buffer[start, room)
    const auto prepend = [&](QStringView text) {
        start -= text.size();
        std::copy(text.begin(), text.end(), buffer.begin() + start);
    };
    for (Node current = node; current != NoNode; current = parent(current)) {
        const QStringView nodeText = textView(current);
        if (nodeText == QStringView(buffer).sliced(start))
            continue;
        if (start != room)
            prepend(Separator);
        prepend(nodeText);
    }
    return buffer.sliced(start);
}
