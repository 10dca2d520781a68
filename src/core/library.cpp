// SPDX-License-Identifier: GPL-3.0-or-later
#include "library.h"

#include "contents.h"
#include "paths.h"
#include "search.h"

#include <QDir>

#include <algorithm>

namespace {

// The folder as AppDir: absolute, with the platform's separator at its end.
QString appDirOf(const QString &folder)
{
    QString appDir = QDir::toNativeSeparators(QDir(folder).absolutePath());
    if (!appDir.endsWith(QDir::separator()))
        appDir += QDir::separator();
    return appDir;
}

}  // namespace

Library::Library(const QString &folder) : m_appDir(appDirOf(folder))
{
    m_books.onCalcFields = calculateAuthor;
}

void Library::readCatalogue()
{
    loadCatalogue(readCatalogueLine(filePath(QStringLiteral("books.xml"))));
}

void Library::loadCatalogue(QByteArray firstLine)
{
    // An empty line leaves the record set closed, which the walk over its
    // records then reports.
    if (!firstLine.isEmpty())
        m_books.open(std::move(firstLine));
    addAuthorsAndBooks(m_books, m_tree);
}

bool Library::contentsPending(Node node) const
{
    return m_tree.level(node) == 1 && m_tree.childCount(node) == 0;
}

void Library::expand(Node node)
{
    if (contentsPending(node))
        LoadContents(filePath(contentsFilePath(*m_tree.info(node))), addingTo(m_tree), node);
}

QString Library::pagePath(Node node) const
{
    return m_tree.level(node) < 2 ? QString() : m_tree.info(node)->FPath;
}

QString Library::filePath(const QString &builtPath) const
{
    return platformPath(m_appDir, builtPath);
}

EntryAddress Library::entryAddress(Node node) const
{
    EntryAddress address;
    for (; node != LibraryTree::NoNode; node = m_tree.parent(node))
        address.steps.prepend({m_tree.row(node), m_tree.text(node)});
    return address;
}

Library::Node Library::childAt(Node parent, const EntryAddress::Step &step) const
{
    const int count = m_tree.childCount(parent);
    if (step.row >= 0 && step.row < count && m_tree.textView(m_tree.child(parent, step.row)) == step.text)
        return m_tree.child(parent, step.row);
    for (int row = 0; row < count; ++row) {
        if (m_tree.textView(m_tree.child(parent, row)) == step.text)
            return m_tree.child(parent, row);
    }
    return LibraryTree::NoNode;
}

Library::Node Library::nodeAt(const EntryAddress &address, const Expander &expand)
{
    Node node = LibraryTree::NoNode;
    for (const EntryAddress::Step &step : address.steps) {
        if (node != LibraryTree::NoNode)
            expand(node);
        node = childAt(node, step);
        if (node == LibraryTree::NoNode)
            break;
    }
    return node;
}

Library::Node Library::walkFrom(Node from, const Expander &expand) const
{
    return findInTree(m_tree, from, m_searchText, expand);
}

Library::Node Library::findFirst(const QString &searchText, const Expander &expand)
{
    m_searchText = searchText;
    // Cleared first: a walk that ends in an error leaves no found node.
    m_foundNode = LibraryTree::NoNode;
    m_foundNode = walkFrom(m_tree.firstRoot(), expand);
    return m_foundNode;
}

Library::Node Library::findNext(const Expander &expand)
{
    if (m_foundNode == LibraryTree::NoNode)
        return LibraryTree::NoNode;
    // The found node changes only once the walk has ended without an error.
    const Node found = walkFrom(m_tree.nextInPreorder(m_foundNode), expand);
    m_foundNode = found;
    return found;
}

Library::Node Library::bookNode(const QString &bookPath) const
{
    for (int authorRow = 0; authorRow < m_tree.childCount(LibraryTree::NoNode); ++authorRow) {
        const Node author = m_tree.child(LibraryTree::NoNode, authorRow);
        for (int bookRow = 0; bookRow < m_tree.childCount(author); ++bookRow) {
            const Node book = m_tree.child(author, bookRow);
            if (m_tree.info(book)->FPath == bookPath)
                return book;
        }
    }
    return LibraryTree::NoNode;
}

std::vector<Library::Node> Library::contentsOf(Node book) const
{
    std::vector<Node> entries;
    for (Node node = m_tree.nextInPreorder(book); node != LibraryTree::NoNode && m_tree.level(node) > 1;
         node = m_tree.nextInPreorder(node))
        entries.push_back(node);
    return entries;
}

void Library::expandBetween(Node top, Node node, const Expander &expand) const
{
    std::vector<Node> ancestors;
    for (Node parent = m_tree.parent(node); parent != top; parent = m_tree.parent(parent))
        ancestors.push_back(parent);
    for (auto ancestor = ancestors.rbegin(); ancestor != ancestors.rend(); ++ancestor)
        expand(*ancestor);
}

Library::Node Library::entryOfPage(const QString &bookPath, int entry, const QString &page,
                                   const Expander &expand) const
{
    const Node book = bookNode(bookPath);
    if (book == LibraryTree::NoNode)
        return LibraryTree::NoNode;
    expandBetween(LibraryTree::NoNode, book, expand);
    expand(book);
    const std::vector<Node> entries = contentsOf(book);
    const auto namesPage = [this, &page](Node node) { return pagePath(node) == page; };
    Node found = LibraryTree::NoNode;
    if (entry >= 0 && size_t(entry) < entries.size() && namesPage(entries[size_t(entry)]))
        found = entries[size_t(entry)];
    else if (const auto first = std::find_if(entries.begin(), entries.end(), namesPage); first != entries.end())
        found = *first;
    if (found != LibraryTree::NoNode)
        expandBetween(book, found, expand);
    return found;
}
