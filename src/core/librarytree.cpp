// SPDX-License-Identifier: GPL-3.0-or-later
#include "librarytree.h"

#include "textfile.h"

#include <QStringBuilder>

#include <algorithm>

// Built in one allocation: a Find builds the path of every book it opens.
QString bookDirectory(const QString &bookPath)
{
    return QStringLiteral("Library") % QLatin1Char('\\') % bookPath % QLatin1Char('\\');
}

LibraryTree::Node LibraryTree::add(Node parent, TextArena::Ref text, TextArena::Ref path, PathKind pathKind)
{
    const Node node = m_size;
    if ((node & ChunkMask) == 0)
        m_chunks.push_back(std::make_unique<NodeData[]>(size_t(ChunkMask) + 1));
    ChildRun &siblings = childrenToAppendTo(parent);
    NodeData &data = at(node);
    data.text = text;
    data.path = path;
    data.parent = parent;
    data.row = siblings.count;
    data.pathKind = pathKind;
    ++m_size;
    appendChild(siblings, node);
    return node;
}

LibraryTree::ChildRun &LibraryTree::childrenToAppendTo(Node parent)
{
    if (parent == NoNode)
        return m_roots;
    int &run = at(parent).childRun;
    if (run == NoRun) {
        run = int(m_childRuns.size());
        m_childRuns.emplace_back();
    }
    return m_childRuns[size_t(run)];
}

void LibraryTree::appendChild(ChildRun &run, Node child)
{
    const auto poolSize = quint32(m_childPool.size());
    if (run.count == run.capacity && run.start + quint32(run.count) != poolSize) {
        m_childPool.resize(poolSize + 2 * size_t(run.count));
        std::copy_n(m_childPool.begin() + run.start, run.count, m_childPool.begin() + poolSize);
        run.start = poolSize;
        run.capacity = 2 * run.count;
    }
    if (run.count == run.capacity) {
        m_childPool.push_back(child);
        ++run.capacity;
    } else {
        m_childPool[run.start + quint32(run.count)] = child;
    }
    ++run.count;
}

LibraryTree::Node LibraryTree::addRoot(const QString &text)
{
    return add(NoNode, m_texts.add(text), {}, PathKind::None);
}

LibraryTree::Node LibraryTree::addChild(Node parent, const QString &text, std::optional<TExtInfoLib> info)
{
    if (!info)
        return add(parent, m_texts.add(text), {}, PathKind::None);
    return add(parent, m_texts.add(text), m_texts.add(info->FPath), PathKind::Own);
}

LibraryTree::Node LibraryTree::addBook(Node author, QStringView label, QStringView bookPath)
{
    const Node book = add(author, m_texts.add(label), m_texts.add(bookPath), PathKind::Own);
    setHasChildrenMark(book, true);
    return book;
}

LibraryTree::Node LibraryTree::addEntry(Node parent, QByteArrayView text, QByteArrayView local)
{
    decodeWindows1251(text, m_texts.reserve(text.size()));
    const TextArena::Ref name = m_texts.keep(text.size());
    return add(parent, name, m_texts.addBytes(local), PathKind::InBook);
}

void LibraryTree::setHasChildrenMark(Node node, bool mark)
{
    at(node).hasChildrenMark = mark;
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
        const QByteArrayView page = m_texts.bytes(data.path);
        QString path = bookDirectory(m_texts.view(at(book).path).toString());
        const qsizetype directoryLength = path.size();
        path.resize(directoryLength + page.size());
        decodeWindows1251(page, reinterpret_cast<char16_t *>(path.data()) + directoryLength);
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
    if (const int below = at(node).childRun; below != NoRun)
        return m_childPool[m_childRuns[size_t(below)].start];
    for (Node current = node; current != NoNode;) {
        const NodeData &data = at(current);
        const ChildRun &siblings = children(data.parent);
        if (data.row + 1 < siblings.count)
            return m_childPool[siblings.start + quint32(data.row) + 1];
        current = data.parent;
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
